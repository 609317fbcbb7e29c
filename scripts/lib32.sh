# Sourced by the scripts that set up and test the 32-bit (x86) build, and by the build tree's
# wine-run. Whether this kernel runs 32-bit code is found out by running a tiny 32-bit program,
# never guessed from the machine's name: some x86_64 kernels boot with 32-bit support off.
# VARNLET_NO_32BIT=1 makes everything behave as on such a kernel, so that a machine that runs
# 32-bit code can rehearse the other kind.

NO_32BIT_LINE="32-bit: skipped, this kernel cannot run 32-bit programs (the x86 build is built, not run)"

# A 96-byte static i386 ELF that only calls exit(42).
kernel_runs_32bit() {
  [ "${VARNLET_NO_32BIT:-0}" != 1 ] || return 1
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
