#!/usr/bin/env bash
# scripts/setup.sh when the optional 32-bit Wine cannot be had: stand-ins for apt-get and dpkg,
# early in PATH, fail the way package mirrors have been seen to fail, and set-up must still
# succeed, say why in its one "32-bit Wine: " line, install nothing that a plan would pay for by
# removing a package, and take the i386 architecture away again when it added it itself. The
# stand-ins answer for the i386 part alone; every question about the machine's own packages goes
# to the real dpkg, so the tools that every machine needs are found installed (this test runs
# after a real set-up). The machine itself is never changed.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d /tmp/orv-setup-test.XXXXXX)"
trap 'rm -rf "$work"' EXIT
real_dpkg="$(command -v dpkg)"
failures=0
fail() { echo "  FAIL [$row] $*"; failures=$((failures + 1)); }

mkdir -p "$work/bin"
# State of the stand-ins: $work/arches (foreign architectures), $work/wine32 (installed),
# $work/calls (every call), $work/mode (how apt-get fails), $work/updates (update count).
cat >"$work/bin/dpkg" <<EOF
#!/usr/bin/env bash
state="$work"
echo "dpkg \$*" >>"\$state/calls"
case "\$1" in
  --print-foreign-architectures) cat "\$state/arches" ;;
  --add-architecture) echo "\$2" >>"\$state/arches" ;;
  --remove-architecture) grep -vx "\$2" "\$state/arches" >"\$state/arches.new" || true; mv "\$state/arches.new" "\$state/arches" ;;
  *) exec "$real_dpkg" "\$@" ;;
esac
EOF
# Asked about the 32-bit Wine, it answers from the stand-ins' state.
cat >"$work/bin/dpkg-query" <<EOF
#!/usr/bin/env bash
if [[ "\$*" == *wine32:i386* ]]; then
  [[ -f "$work/wine32" ]] && printf 'ii '
  exit 0
fi
exec "$(command -v dpkg-query)" "\$@"
EOF
cat >"$work/bin/apt-get" <<EOF
#!/usr/bin/env bash
state="$work"
echo "apt-get \$*" >>"\$state/calls"
mode="\$(cat "\$state/mode")"
i386=0
grep -qx i386 "\$state/arches" && i386=1
case "\$*" in
  "update -qq")
    n=\$((\$(cat "\$state/updates" 2>/dev/null || echo 0) + 1))
    echo "\$n" >"\$state/updates"
    if ((i386)) && [[ "\$mode" == update-fails || ( "\$mode" == update-fails-once && "\$n" == 1 ) ]]; then
      echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 151.101.2.132 80]" >&2
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
      exit 100
    fi ;;
  "install -s -y wine32:i386")
    case "\$mode" in
      removes) printf 'Remv wine64 [8.0~repack-4]\nRemv libwine:amd64 [8.0~repack-4]\nInst wine32:i386 (8.0~repack-4 Debian:12.8/stable [i386])\n' ;;
      breaks) echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages." >&2; exit 100 ;;
      *) printf 'Inst wine32:i386 (8.0~repack-4 Debian:12.8/stable [i386])\nConf wine32:i386\n' ;;
    esac ;;
  "install -y -qq wine32:i386") touch "\$state/wine32" ;;
  *) echo "E: the stand-in does not answer: \$*" >&2; exit 100 ;;
esac
EOF
chmod +x "$work/bin/dpkg" "$work/bin/dpkg-query" "$work/bin/apt-get"

# row NAME MODE FOREIGN-ARCHES WANT-LINE WANT-ARCHES WANT-INSTALLED [ENV...]: one run of set-up.
row() {
  row="$1"
  local mode="$2" arches="$3" want_line="$4" want_arches="$5" want_installed="$6" out status=0 lines
  shift 6
  rm -f "$work/calls" "$work/updates" "$work/wine32"
  echo "$mode" >"$work/mode"
  printf '%s' "$arches" >"$work/arches"
  # Each row's own settings only: a caller's ORV_NO_32BIT would leave every row out.
  out="$(env -u ORV_NO_32BIT PATH="$work/bin:$PATH" ORV_APT_RETRY_PAUSE=0 ORV_SETUP_TEST_32BIT_KERNEL=1 "$@" \
    bash "$root/scripts/setup.sh" 2>&1 </dev/null)" || status=$?
  ((status == 0)) || fail "set-up ended with status $status: $out"
  lines="$(grep -c '^32-bit Wine: ' <<<"$out" || true)"
  [[ "$lines" == 1 ]] || fail "$lines lines begin with '32-bit Wine: ': $out"
  grep -qxF -- "$want_line" <<<"$out" || fail "no line [$want_line] in: $out"
  [[ "$(tr '\n' ' ' <"$work/arches")" == "$want_arches" ]] ||
    fail "foreign architectures [$(tr '\n' ' ' <"$work/arches")], expected [$want_arches]"
  if [[ "$want_installed" == yes ]]; then
    [[ -f "$work/wine32" ]] || fail "the 32-bit Wine was not installed"
  elif grep -qx 'apt-get install -y -qq wine32:i386' "$work/calls" 2>/dev/null; then
    fail "the 32-bit Wine was installed"
  fi
  if [[ "$row" == *retried* ]]; then
    [[ "$(cat "$work/updates" 2>/dev/null)" == 2 ]] || fail "apt-get update ran $(cat "$work/updates" 2>/dev/null || echo 0) times, expected 2"
  fi
  echo "  $row: $(grep '^32-bit Wine: ' <<<"$out" || true)"
}

index_error='Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?'
echo "set-up against stand-ins of apt-get and dpkg that fail as mirrors have"
row "stale i386 index, retried" update-fails "" \
  "32-bit Wine: not installed (the package index for i386 could not be read: $index_error)" "" no
row "stale i386 index, architecture there before" update-fails $'i386\n' \
  "32-bit Wine: not installed (the package index for i386 could not be read: $index_error)" "i386 " no
row "plan removes the 64-bit Wine" removes "" \
  "32-bit Wine: not installed (installing it would remove wine64 libwine:amd64)" "" no
row "plan breaks" breaks "" \
  "32-bit Wine: not installed (apt-get could not plan its installation: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages.)" "" no
row "index read on the second try, retried" update-fails-once "" \
  "32-bit Wine: installed now (this kernel runs 32-bit programs)" "i386 " yes
row "left out on request" update-fails "" "32-bit Wine: not installed (ORV_NO_32BIT=1)" "" no ORV_NO_32BIT=1
row="the machine"
"$real_dpkg" -s wine64 >/dev/null 2>&1 || fail "wine64 is no longer installed"

if ((failures)); then
  echo "set-up test: $failures failure(s)"
  exit 1
fi
echo "set-up test: all passed"
