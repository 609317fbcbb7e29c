#!/bin/sh
# Link launcher for varnlet.exe: runs the link with the win32-thread-model driver of the same
# MinGW GCC (g++-posix -> g++-win32), so the program gets the runtime built on Windows' own
# locks instead of winpthread. Any other driver links as it is.
driver="$1"
shift
case "$driver" in
  *-posix) exec "${driver%-posix}-win32" "$@" ;;
  *) exec "$driver" "$@" ;;
esac
