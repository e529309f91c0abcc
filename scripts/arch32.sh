# shellcheck shell=bash
# Sourced: tells whether this machine can run the shipped 32-bit Orvastell.exe under Wine.
#
#   orv_32bit_wanted   true when the kernel runs 32-bit programs and ORV_NO_32BIT is not 1
#   orv_32bit_ready    the same, and the 32-bit half of Wine (wine32:i386) is installed
# Both set ORV_32BIT_REASON to a short reason when they answer no.
#
# The kernel is asked without installing anything: a minimal i386 Linux program (an ELF header,
# one program header and the exit system call with status 42), written here byte by byte, is run
# once. A kernel without 32-bit support (or with it switched off) refuses to start it.

orv_kernel_runs_32bit() {
  local probe status=0
  probe="$(mktemp /tmp/orv-i386-probe.XXXXXX)"
  # ELF32 header (52 bytes), a PT_LOAD header (32 bytes) mapping the whole file at 0x08048000,
  # then: mov eax,1; mov ebx,42; int 0x80.
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
  printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
  printf '\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010' >>"$probe"
  printf '\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000' >>"$probe"
  printf '\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >>"$probe"
  chmod 700 "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [[ "$status" == 42 ]]
}

orv_32bit_wanted() {
  ORV_32BIT_REASON=""
  if [[ "${ORV_NO_32BIT:-}" == 1 ]]; then
    ORV_32BIT_REASON="ORV_NO_32BIT=1"
    return 1
  fi
  if [[ "$(uname -m)" != x86_64 ]] || ! orv_kernel_runs_32bit; then
    ORV_32BIT_REASON="this kernel runs no 32-bit programs"
    return 1
  fi
}

# orv_package_installed PACKAGE: dpkg has it installed (not only its configuration files).
orv_package_installed() {
  [[ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null)" == ii* ]]
}

orv_32bit_ready() {
  orv_32bit_wanted || return 1
  if ! orv_package_installed wine32:i386; then
    ORV_32BIT_REASON="the 32-bit Wine (wine32:i386) is not installed"
    return 1
  fi
}

# orv_pe_arch FILE: i686 or x86_64, from the machine field of the Windows program's PE header
# (unknown-<field> for anything else).
orv_pe_arch() {
  local offset machine
  offset=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j $((offset + 4)) -N 2 "$1" | tr -d ' ')
  case "$machine" in 014c) echo i686 ;; 8664) echo x86_64 ;; *) echo "unknown-$machine" ;; esac
}
