#!/usr/bin/env bash
# Checks the shipped Orvastell.exe (the 32-bit release build) for what cannot be run here: that it
# is a 32-bit Windows GUI program that needs nothing beyond Windows itself, that the compiler's
# hardening is in it, and that it names the files it accepts: an https:// address and a SHA-256
# for the runtime's cabinet, the SHA-256 of its installer package, and the SHA-256s of the transfer
# control and its companion.
#   check_exe.sh [--test-build] PATH-TO-Orvastell.exe
# A program whose address is on a name reserved for tests and examples (.test, .example,
# .invalid, .localhost, localhost, example.com/.net/.org) is refused: it would download from a
# host that no user can reach. --test-build says that the program checked is a build with test
# values (scripts/test.sh builds one), whose address is such a name.
set -euo pipefail
test_build=0
if [[ "${1:-}" == --test-build ]]; then test_build=1; shift; fi
(($# == 1)) || { echo "usage: check_exe.sh [--test-build] PATH-TO-Orvastell.exe" >&2; exit 2; }
exe="$1"
objdump=i686-w64-mingw32-objdump
failures=0
fail() { echo "  FAIL: $*"; failures=$((failures + 1)); }

headers="$($objdump -p "$exe")"
grep -q 'file format pei-i386' <<<"$($objdump -f "$exe")" || fail "not a 32-bit (i386) Windows program"
grep -qE '^Magic[[:space:]]+010b' <<<"$headers" || fail "no PE32 optional header"
grep -qE '^Subsystem[[:space:]]+00000002' <<<"$headers" || fail "not a Windows GUI program"
# Address space layout randomisation and no execution from data pages.
characteristics="$(sed -nE 's/^DllCharacteristics[[:space:]]+([0-9a-fA-F]+).*/\1/p' <<<"$headers")"
(( (16#${characteristics:-0} & 0x40) != 0 )) || fail "not relocatable at load (DYNAMIC_BASE)"
(( (16#${characteristics:-0} & 0x100) != 0 )) || fail "not NX compatible"
# Only the system's own libraries: the compiler's runtime is linked in, and the common controls
# and WinINet are loaded when needed, so that a run that needs neither does not load them.
allowed=' ADVAPI32.dll GDI32.dll KERNEL32.dll msvcrt.dll ole32.dll OLEAUT32.dll SHELL32.dll USER32.dll '
while read -r dll; do
  [[ "$allowed" == *" $dll "* ]] || fail "imports $dll"
done < <(sed -nE 's/^[[:space:]]*DLL Name: (.*)$/\1/p' <<<"$headers")

# The stack protector: its handler linked in and called from the program's functions (so it
# cannot silently go away with a change of build settings).
calls="$($objdump -d "$exe" | grep -c 'call.*<___stack_chk_fail>' || true)"
((calls > 0)) || fail "no function checks the stack protector's canary"

# The benchmarks' trace is never in a program that is shipped: none of its event names.
if grep -qaE 'WinMain entered|question answered|shell open returned' "$exe"; then
  fail "the benchmarks' trace is compiled in"
fi

# The build's settings, as the program carries them (each a text that begins with its name, whose
# value is the one the program uses).
setting() {  # setting NAME: its value; fails unless the program carries it exactly once
  local values
  values="$(LC_ALL=C grep -aoE "$1=[[:print:]]*" "$exe" || true)"
  [[ -n "$values" && "$(wc -l <<<"$values")" == 1 ]] || return 1
  echo "${values#"$1="}"
}
hex64='[0-9A-Fa-f]{64}'
url="" sha256="" package="" control=""
url="$(setting ORV_DOWNLOAD_URL)" || fail "the program does not carry ORV_DOWNLOAD_URL once"
sha256="$(setting ORV_DOWNLOAD_SHA256)" || fail "the program does not carry ORV_DOWNLOAD_SHA256 once"
package="$(setting ORV_PACKAGE_SHA256)" || fail "the program does not carry ORV_PACKAGE_SHA256 once"
control="$(setting ORV_CONTROL_SHA256)" || fail "the program does not carry ORV_CONTROL_SHA256 once"
[[ "$url" == https://* ]] || fail "the runtime's address is not an https:// address (ORV_DOWNLOAD_URL=$url)"
# The host: after the scheme, before the first of "/", ":", "?" or "#"; without a user part.
host="${url#*://}"
host="${host%%[/?#]*}"
host="${host##*@}"
host="${host%%:*}"
host="${host,,}"
host="${host%.}"
if ((!test_build)); then
  case "$host" in
    localhost | *.localhost | test | *.test | example | *.example | invalid | *.invalid | \
      example.com | *.example.com | example.net | *.example.net | example.org | *.example.org)
      fail "the runtime's address is on $host, a name reserved for tests and examples (ORV_DOWNLOAD_URL=$url)" ;;
  esac
fi
[[ "$sha256" =~ ^${hex64}$ ]] || fail "no SHA-256 of the runtime's cabinet (ORV_DOWNLOAD_SHA256=$sha256)"
[[ "$package" =~ ^${hex64}$ ]] || fail "no SHA-256 of the runtime's installer package (ORV_PACKAGE_SHA256=$package)"
[[ "$control" =~ ^${hex64},${hex64}$ ]] || fail "no SHA-256s of the transfer control (ORV_CONTROL_SHA256=$control)"

if ((failures)); then
  echo "release check of $exe: $failures failure(s)"
  exit 1
fi
echo "release check of $exe: a 32-bit Windows GUI program that needs only the system's libraries," \
  "with $calls calls of the stack protector's check; the runtime from $url with SHA-256 $sha256;" \
  "its installer package with SHA-256 $package;" \
  "the transfer control and companion with SHA-256s $control"
