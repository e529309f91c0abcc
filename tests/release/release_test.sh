#!/usr/bin/env bash
# The release command (scripts/release.sh) as an administrator receives its result:
#   release_test.sh DIST-FOLDER NAME=VALUE...
# DIST-FOLDER is the release folder that scripts/test.sh made with the test values NAME=VALUE...
# (unsigned). Here: its contents and checksums; that the command refuses to run without a setting;
# that the same sources, copied to another path and built again later, give the same bytes
# (the offsets of any that differ are shown); and that with a throwaway code-signing certificate
# the program is signed and verifies against its authority, a copy with one byte changed does
# not, and the release check still reads the settings in the signed file.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
# shellcheck source=../../scripts/presets.sh
. scripts/presets.sh
first="$(cd "$1" && pwd)"
shift
settings=("$@")
work="$(mktemp -d /tmp/orv-release-test.XXXXXX)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "  FAIL: $*"; failures=$((failures + 1)); }
as_built() { sed -nE 's/^As built: +SHA-256 ([0-9a-f]{64}).*/\1/p' "$1/RELEASE.txt"; }

# The folder: the program, its release notes and their checksums, nothing else.
[[ "$(ls -A "$first" | tr '\n' ' ')" == "Orvastell.exe RELEASE.txt SHA256SUMS " ]] ||
  fail "the release folder holds [$(ls -A "$first" | tr '\n' ' ')]"
(cd "$first" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
for setting in "${settings[@]}"; do
  grep -qxF "  $setting" "$first/RELEASE.txt" || fail "RELEASE.txt does not give $setting"
done
grep -qE '^Compiler: +i686-w64-mingw32-g\+\+' "$first/RELEASE.txt" || fail "RELEASE.txt does not name the compiler"
grep -qE '^Source commit: +([0-9a-f]{40}|unknown)' "$first/RELEASE.txt" || fail "RELEASE.txt does not give the source commit"
grep -qE '^Signature: +none: unsigned' "$first/RELEASE.txt" || fail "RELEASE.txt does not say that the program is unsigned"
[[ "$(as_built "$first")" == "$(sha256sum "$first/Orvastell.exe" | cut -c1-64)" ]] ||
  fail "the unsigned program is not the one built"

# Without one of the settings, nothing is built.
for name in ORV_DOWNLOAD_URL ORV_PACKAGE_SHA256; do
  if env "${settings[@]}" "$name=" bash scripts/release.sh >"$work/refused.log" 2>&1 ||
    ! grep -q "not set: $name" "$work/refused.log"; then
    fail "the release command ran without $name: $(tail -n 1 "$work/refused.log")"
  fi
done

# A throwaway authority and a code-signing certificate it issued, with its password in a file.
certs="$work/certs"
mkdir -p "$certs"
(
  cd "$certs"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Orvastell Test Code Signing CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
  openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Quenlark Test Publisher/O=Quenlark"
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
  openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out signer.pem -days 2 -extfile signer.ext
  head -c 24 /dev/urandom | od -An -tx1 | tr -d ' \n' >password.txt
  openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -out signer.p12 -passout file:password.txt
) >"$work/certs.log" 2>&1 || { cat "$work/certs.log"; fail "the throwaway certificate could not be made"; }

# The same sources at another path, built again (later, and signed).
copy="$work/elsewhere/Orvastell-sources"
mkdir -p "$copy"
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$copy"
# The copy is no git checkout: its build takes another SOURCE_DATE_EPOCH (0) than the first one
# (the commit's time), so the program must not depend on it either.
second=""
if (cd "$copy" && env -u SOURCE_DATE_EPOCH "${settings[@]}" ORV_RELEASE_TEST=1 ORV_SIGN_PKCS12="$certs/signer.p12" \
  ORV_SIGN_PASSWORD_FILE="$certs/password.txt" ORV_SIGN_CA_FILE="$certs/ca.pem" bash scripts/release.sh) >"$work/second.log" 2>&1; then
  second="$(ls -d "$copy"/dist/Orvastell-*)"
else
  cat "$work/second.log"
  fail "the signed release in a copy of the sources failed"
fi

if [[ -n "$second" ]]; then
  if [[ "$(as_built "$second")" == "$(as_built "$first")" ]]; then
    echo "  reproducible: the same Orvastell.exe ($(as_built "$first")) from $root and from $copy"
  else
    fail "built twice, Orvastell.exe differs: $(as_built "$first") and $(as_built "$second")"
    echo "    differing bytes (offset, then the two values, octal): $(cmp -l "$first/Orvastell.exe" \
      "$(cd "$copy" && orv_agent_in "$(orv_preset_dir mingw-x86)")" | head -n 20 | awk '{ printf "%d:%s/%s ", $1 - 1, $2, $3 }')"
  fi
  grep -qE '^Signature: +Authenticode, SHA-256, verified after signing; signer: /CN=Quenlark Test Publisher/O=Quenlark \(issued by /CN=Orvastell Test Code Signing CA\)' \
    "$second/RELEASE.txt" || fail "RELEASE.txt does not name the signer: $(grep '^Signature' "$second/RELEASE.txt")"
  (cd "$second" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the signed files"
  osslsigncode verify -in "$second/Orvastell.exe" -CAfile "$certs/ca.pem" >"$work/verify.log" 2>&1 ||
    fail "the signed program does not verify against its authority: $(tail -n 2 "$work/verify.log")"
  # One byte of the program's code changed: the signature no longer holds.
  cp "$second/Orvastell.exe" "$work/changed.exe"
  offset=$((0x1000 + 100))
  printf "\\$(printf '%03o' $(( ($(od -An -tu1 -j "$offset" -N 1 "$work/changed.exe") + 1) % 256 )))" |
    dd of="$work/changed.exe" bs=1 seek="$offset" conv=notrunc 2>/dev/null
  cmp -s "$work/changed.exe" "$second/Orvastell.exe" && fail "the copy was not changed"
  if osslsigncode verify -in "$work/changed.exe" -CAfile "$certs/ca.pem" >"$work/verify.log" 2>&1; then
    fail "a signed program with one byte changed still verifies"
  fi
  bash tests/release/check_exe.sh --test-build "$second/Orvastell.exe" >/dev/null ||
    fail "the release check does not pass the signed program"
  echo "  signed: verifies against the throwaway authority; one byte changed, it does not"
fi

if ((failures)); then
  echo "release test: $failures failure(s)"
  exit 1
fi
echo "release test: all passed"
