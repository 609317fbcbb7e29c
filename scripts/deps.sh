#!/usr/bin/env bash
# Installs with apt-get whatever of the toolchain this machine lacks. Safe to run again.
# Where the kernel runs 32-bit code, it also installs 32-bit Wine so the x86 build is tested too;
# where it cannot, it says so once (scripts/lib32.sh) and the 32-bit layers are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib32.sh
packages=(
  cmake ninja-build g++ make
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy cppcheck
  mingw-w64 wine wine64 xvfb xauth xdotool imagemagick x11-utils
  nsis 7zip zip unzip wixl msitools osslsigncode openssl python3 python3-yaml
  softhsm2 libengine-pkcs11-openssl
)
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
if kernel_runs_32bit; then
  packages+=(wine32:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture for 32-bit Wine"
    $sudo_cmd dpkg --add-architecture i386
  fi
else
  echo "$NO_32BIT_LINE"
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
