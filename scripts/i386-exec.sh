#!/bin/sh
# How this machine runs 32-bit x86 programs, and making it run them.
#
#   i386-exec.sh probe      prints "native", "emulated (<interpreter>)" or
#                           "none: <reason>"; changes nothing
#   i386-exec.sh setup      the same, but where the kernel cannot run them and
#                           qemu-i386 is installed, registers it with binfmt_misc
#                           (mounting binfmt_misc first when needed), so that
#                           every 32-bit program, including those the tests start
#                           themselves, runs under the emulator
#   i386-exec.sh teardown   removes the registration setup made, and only that
#
# ZARA_I386=emulate makes setup register the emulator even where the kernel
# runs 32-bit programs itself (binfmt_misc is consulted before the kernel's own
# ELF loader), so that the emulated path can be tried on any machine.
# A registration that exists already is used as it is and never removed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
state=${ZARA_I386_STATE:-$here/../build-m32}
mark=$state/.binfmt-registered
binfmt=/proc/sys/fs/binfmt_misc
entry=zara-qemu-i386
# i386 ELF executables and shared objects (e_type 2 or 3, e_machine 3).
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Builds a program that prints the machine the kernel (or emulator) reports;
# natively a 32-bit program on an x86-64 kernel sees "x86_64", under
# qemu-i386 it sees "i686".
build_probe() {
  cat > "$scratch/probe.c" <<'EOF'
#include <stdio.h>
#include <sys/utsname.h>
int main(void) { struct utsname u; if (uname(&u) != 0) return 1; puts(u.machine); return 0; }
EOF
  ${CC:-cc} -m32 -o "$scratch/probe" "$scratch/probe.c" 2>"$scratch/cc.log"
}

run_probe() { "$scratch/probe" 2>/dev/null; }

# The interpreter of the first enabled binfmt_misc entry that takes i386 ELF.
registered_interpreter() {
  [ -d "$binfmt" ] || return 1
  for f in "$binfmt"/*; do
    case ${f##*/} in register|status) continue ;; esac
    [ -f "$f" ] || continue
    grep -q '^enabled' "$f" || continue
    grep -q '^magic 7f454c46010101000000000000000000020003' "$f" || continue
    sed -n 's/^interpreter //p' "$f"
    return 0
  done
  return 1
}

describe() {
  machine=$(run_probe) || return 1
  if [ "$machine" = x86_64 ]; then
    echo native
  else
    echo "emulated ($(basename "$(registered_interpreter || echo qemu-i386)"))"
  fi
}

register() {
  qemu=$(command -v qemu-i386) || { echo "none: the kernel does not run 32-bit programs and qemu-i386 (package qemu-user) is not installed"; return 1; }
  [ "$(id -u)" -eq 0 ] || { echo "none: the kernel does not run 32-bit programs and registering qemu-i386 with binfmt_misc needs root"; return 1; }
  if [ ! -f "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
      { echo "none: the kernel does not run 32-bit programs and binfmt_misc cannot be mounted"; return 1; }
  fi
  if [ ! -e "$binfmt/$entry" ]; then
    printf ':%s:M::%s:%s:%s:\n' "$entry" "$magic" "$mask" "$qemu" > "$binfmt/register" 2>/dev/null ||
      { echo "none: the kernel does not run 32-bit programs and binfmt_misc refused the qemu-i386 entry"; return 1; }
    mkdir -p "$state" && : > "$mark"
  fi
  return 0
}

unregister() {
  [ -f "$mark" ] || return 0
  [ -e "$binfmt/$entry" ] && echo -1 > "$binfmt/$entry"
  rm -f "$mark"
}

case ${1:-probe} in
  probe)
    build_probe || { echo "none: 32-bit programs cannot be built (is g++-multilib installed?)"; exit 0; }
    describe || echo "none: the kernel does not run 32-bit programs"
    ;;
  setup)
    build_probe || { echo "none: 32-bit programs cannot be built (is g++-multilib installed?)"; exit 0; }
    if [ "${ZARA_I386:-}" != emulate ] || registered_interpreter >/dev/null; then
      describe && exit 0
    fi
    register || exit 0
    describe || { unregister; echo "none: qemu-i386 is registered but the 32-bit probe still does not run"; }
    ;;
  teardown)
    unregister
    ;;
  *)
    echo "usage: $0 probe|setup|teardown" >&2
    exit 2
    ;;
esac
