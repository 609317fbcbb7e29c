# MinGW build flags for a small, reproducible exe. Every Windows target gets the compile flags,
# so the tests exercise the code as it ships; the program's own link gets the rest.

# Size: optimise for it, and give every function and datum its own section so that the linker
# drops whatever nothing calls (the static C++ runtime is most of the exe). Link-time
# optimisation then sees the program whole.
foreach(config RELEASE RELWITHDEBINFO)
  foreach(lang C CXX)
    string(REPLACE "-O2" "-Os" CMAKE_${lang}_FLAGS_${config} "${CMAKE_${lang}_FLAGS_${config}}")
    string(REPLACE "-O3" "-Os" CMAKE_${lang}_FLAGS_${config} "${CMAKE_${lang}_FLAGS_${config}}")
  endforeach()
endforeach()
add_compile_options(-ffunction-sections -fdata-sections)

# Hardened as MSVC's defaults would make it (/GS, the checked C runtime): a canary on every
# function with an array or an address-taken local, and the C library's checked string and stdio
# calls where the compiler knows the buffer's size. MinGW's headers implement _FORTIFY_SOURCE
# levels 1 and 2 (not 3), and only in optimised code. ASLR, high-entropy ASLR and DEP are the
# linker's defaults and tests/e2e/pe_hardening.sh keeps them.
add_compile_options(-fstack-protector-strong "$<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>")
# The link then takes the canary's check and the checked calls from the static libssp.
add_link_options(-fstack-protector-strong)

# Reproducible: no build folder in the objects (debug information, __FILE__), whichever folder
# the tree was checked out or built in. GCC tries the last map first: the build folder, which
# lies inside the source folder, comes last.
add_compile_options("-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=" "-ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/")

# Where the bytes go. --gc-sections drops a function nothing calls only where its object has no
# unwind tables: GNU ld keeps all of .pdata (x64) and .eh_frame (x86), and with them every
# function of every object linked, library objects included. So what counts is which library
# objects a link pulls in. Constructing std::logic_error or its kin pulls in the objects of the C++
# library's char strings (50 KiB on x64, 85 KiB on x86): the program throws its own errors
# (src/base/errors.h) and its link defines the library's throw functions
# (src/app/runtime_throws_mingw.cpp). bench/size.sh lists the sections; a link map
# (-Wl,-Map,FILE) names each object and why it was pulled in.

# Options for the program's own link.
function(varnlet_release_link_options target)
  # Link-time optimisation for the program only: the objects carry both the compiler's
  # intermediate code, which the program's link optimises whole, and plain code, which the test
  # programs link as it is (MinGW's GCC 12 fails with an internal error when optimising some of
  # them at link time).
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    # Every other link takes the plain code: without this, the linker's LTO plugin claims the
    # objects anyway and the i686 links fail on duplicate inline functions.
    add_link_options(-fno-lto)
    foreach(library ${VARNLET_LAYER_LIBRARIES})
      target_compile_options(${library} PRIVATE -flto=auto -ffat-lto-objects)
    endforeach()
    # Varnlet has one thread: window messages and timers run on it, and the browser control it
    # hosts is apartment-threaded, so it calls back on it too. Function-local statics need no
    # lock, and without one the runtime's guard (and the winpthread code behind it, 2 KiB) stays
    # out. A program that starts a thread must drop this.
    foreach(library ${VARNLET_LAYER_LIBRARIES} ${target})
      target_compile_options(${library} PRIVATE -fno-threadsafe-statics)
    endforeach()
    target_compile_options(${target} PRIVATE -flto=auto)
    # One partition: with the default ones, GCC 12 stopped with an internal error
    # (binds_to_current_def_p) depending on which functions landed together, after a change as
    # small as one more toolkit function. The program is small enough to optimise whole.
    target_link_options(${target} PRIVATE -flto=auto -flto-partition=one)
  endif()
  # The program starts no thread: the posix runtime's winpthread (22 to 26 KiB, for the
  # unwinder's and the exception pool's locks) has nothing to do in it. It links against the same
  # GCC's runtime built for Windows threads; the tests, which need std::mutex, keep the posix one.
  if(CMAKE_CXX_COMPILER MATCHES "-posix$")
    string(REGEX REPLACE "-posix$" "-win32" win32_threads_cxx "${CMAKE_CXX_COMPILER}")
    if(EXISTS "${win32_threads_cxx}")
      set_property(TARGET ${target} PROPERTY CXX_LINKER_LAUNCHER ${PROJECT_SOURCE_DIR}/cmake/link-win32-threads.sh)
    endif()
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(u "_")  # i686 C symbols carry a leading underscore
  else()
    set(u "")
  endif()
  target_link_options(${target} PRIVATE
    # Reproducible: a zero link time in the PE header rather than the clock's.
    -Wl,--no-insert-timestamp
    -Wl,--gc-sections
    # The runtime's default terminate handler prints the exception's demangled type on stderr,
    # which a GUI program does not have, and then calls abort(); linking it pulls in the whole
    # demangler (45 KiB). Bind the handler to abort() itself.
    "-Wl,--defsym=${u}_ZN9__gnu_cxx27__verbose_terminate_handlerEv=${u}abort")
endfunction()
