// The C++ library's own throws (a container asked for more than it can hold, a string made from
// a null pointer, ...), for the program's static MinGW link only: they raise the program's own
// errors (base/errors.h) and the library's exceptions without a text.
//
// libstdc++ defines them all in one object, whose std::length_error and kin keep their text in a
// reference-counted string. Linking that object brings the library's char string code and the
// exception classes' code with it, and MinGW's linker keeps every function of an object that has
// unwind tables: 50 KiB, a quarter of the exe. Defined here, none of it is linked. Each definition
// replaces the library's declaration of the same function; the tests link the library's own.
// Every function of that object is defined, so that the linker never needs it.
#include <new>
#include <typeinfo>

#include "base/errors.h"

namespace std {

void __throw_bad_exception() { throw std::bad_exception(); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_bad_cast() { throw std::bad_cast(); }
void __throw_bad_typeid() { throw std::bad_typeid(); }
void __throw_logic_error(const char* what) { throw varnlet::Error(what); }
void __throw_domain_error(const char* what) { throw varnlet::InvalidArgument(what); }
void __throw_invalid_argument(const char* what) { throw varnlet::InvalidArgument(what); }
void __throw_length_error(const char* what) { throw varnlet::Overflow(what); }
void __throw_out_of_range(const char* what) { throw varnlet::OutOfRange(what); }
// The format's arguments (a position and a size) are left out: the text says what went wrong.
void __throw_out_of_range_fmt(const char* format, ...) { throw varnlet::OutOfRange(format); }
void __throw_runtime_error(const char* what) { throw varnlet::Error(what); }
void __throw_range_error(const char* what) { throw varnlet::Overflow(what); }
void __throw_overflow_error(const char* what) { throw varnlet::Overflow(what); }
void __throw_underflow_error(const char* what) { throw varnlet::Overflow(what); }

}  // namespace std
