#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
# qemu-user is added only where the kernel cannot run 32-bit programs itself
# (or ZARA_I386=emulate asks for the emulator), to run the 32-bit suite.
set -e
here=$(dirname "$0")
packages="cmake make g++ g++-multilib googletest libgtest-dev gnucobol3 clang libclang-rt-14-dev"
# `install-deps.sh coverage` adds what `make coverage` needs.
[ "${1:-}" = coverage ] && packages="$packages gcovr"

missing_of() {
  out=""
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || out="$out $p"
  done
  echo "$out"
}

install() {
  [ -z "$1" ] && return 0
  echo "installing:$1"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq $1
}

install "$(missing_of $packages)"

mode=$(sh "$here/i386-exec.sh" probe)
case $mode in
  native) [ "${ZARA_I386:-}" = emulate ] && install "$(missing_of qemu-user)" ;;
  "none: the kernel"*) install "$(missing_of qemu-user)" ;;
esac
exit 0
