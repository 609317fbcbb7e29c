# Sourced by the scripts that set up and test the 32-bit (x86) build.
# Whether this kernel runs 32-bit code is found out by running a tiny 32-bit program, never
# guessed from the machine's name: some x86_64 kernels are built without 32-bit support.

NO_32BIT_LINE="32-bit: skipped, this kernel cannot run 32-bit programs (the x86 build is built, not run)"

# A 96-byte static i386 ELF that only calls exit(42).
kernel_runs_32bit() {
  local probe rc=0
  probe="$(mktemp "${TMPDIR:-/tmp}/varnlet-elf32.XXXXXX")"
  echo 'f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhgAAAAYAAAAAUAAAAAEAAAuAEAAAC7KgAAAM2A' |
    base64 -d >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || rc=$?
  rm -f "$probe"
  [ "$rc" -eq 42 ]
}

# True when 32-bit Windows programs can run here: the kernel runs 32-bit code and 32-bit Wine
# is installed.
wine_runs_32bit() {
  kernel_runs_32bit && dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'
}
