#pragma once
// The program's run-time errors: what a step that cannot go on throws, for SkipErrors or the
// caller to take. Each holds a fixed text, given as a literal, and derives from std::exception
// alone. std::logic_error and its kin would do the same, but they keep their text in a
// reference-counted string, and on MinGW constructing one links the C++ library's whole char
// string code, 40 KiB, into the exe (cmake/Release.cmake).
#include <exception>

namespace varnlet {

class Error : public std::exception {
 public:
  // `what` must outlive the error: a string literal.
  explicit Error(const char* what) noexcept : what_(what) {}
  const char* what() const noexcept override { return what_; }

 private:
  const char* what_;
};

// A position, key or field outside what exists.
class OutOfRange : public Error {
 public:
  using Error::Error;
};

// A number or a size beyond what its type or the system can take.
class Overflow : public Error {
 public:
  using Error::Error;
};

// An argument of a kind the operation cannot take.
class InvalidArgument : public Error {
 public:
  using Error::Error;
};

}  // namespace varnlet
