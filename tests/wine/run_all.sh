#!/usr/bin/env bash
# End-to-end tests of Orvastell.exe under Wine, on a private Xvfb display, in one scratch prefix:
#   * backend_check.exe: the real windows and the real transfer control against the local server;
#   * every scenario of a run (scenarios_*.sh), each in a fresh application folder with fresh registry
#     values, answered by uidriver.exe, with the shell's "open" of .mde and .msi and the program
#     regsvr32 replaced by recorder.exe, and the download server (http_server.py) reached through
#     the system proxy setting.
# Screenshots go to build/artefacts/ (ORV_ARTEFACTS names another folder). Set ORV_EXE to test
# another Orvastell.exe (32-bit or 64-bit: the helper programs are built to match it),
# ORV_WINEARCH=win32 to run it on a 32-bit Windows (a 32-bit program, and the 32-bit Wine),
# ORV_RELEASE_EXE to the release program built with the test values (scripts/test.sh does; a
# scenario downloads with it where this machine runs 32-bit programs), and ORV_E2E_ONLY to a
# regular expression to run only the scenarios whose names it matches. The helper programs are
# CMake targets (tests/wine/CMakeLists.txt), built here in the build tree of the agent's
# architecture: build/mingw or build/mingw-x86-tests, the tree ORV_EXE was built in, or the one
# ORV_TOOLS_BUILD_DIR names (tests/wine/helper_programs.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
here="tests/wine"
artefacts="${ORV_ARTEFACTS:-build/artefacts}"
mkdir -p "$artefacts"
shot_names=(update-window box-question box-information download-window box-error box-unhandled-error box-elevated)
for name in "${shot_names[@]}"; do rm -f "$artefacts/$name.png"; done

# ------------------------------------------------------------------ programs

# shellcheck source=../../scripts/presets.sh
. scripts/presets.sh
find_agent() {
  if [[ -n "${ORV_EXE:-}" ]]; then echo "$ORV_EXE"; return; fi
  local preset agent
  preset="$(orv_test_preset x86_64)"
  agent="$(orv_agent_in "$(orv_preset_dir "$preset")")"
  [[ -f "$agent" ]] || { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target Orvastell >/dev/null; }
  echo "$agent"
}
agent_exe="$(find_agent)"
[[ -f "$agent_exe" ]] || { echo "run_all: no Orvastell.exe ($agent_exe)" >&2; exit 1; }

# The helper programs, built by CMake for the agent's architecture (tests/wine/helper_programs.sh).
# shellcheck source=helper_programs.sh
. "$here/helper_programs.sh"
arch="$(orv_pe_arch "$agent_exe")"
case "$arch" in
  i686 | x86_64) ;;
  *) echo "run_all: $agent_exe is neither a 32-bit nor a 64-bit x86 Windows program" >&2; exit 1 ;;
esac
tools="$(orv_helper_programs "$arch" "$agent_exe" uidriver locker recorder planted backend_check)"

# ------------------------------------------------------------------ Wine, display, server

server_pid=""
watcher_pid=""
stop_helpers() {
  local pid
  # The fault scenarios' mounts inside the prefix, before the prefix goes.
  if declare -F unmount_faults >/dev/null; then unmount_faults; fi
  for pid in $watcher_pid $server_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  watcher_pid=""
  server_pid=""
}
trap stop_helpers EXIT
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
# Always a private display: the tests must not put windows on the user's screen.
unset DISPLAY
# shellcheck source=../../scripts/wine-env.sh
. scripts/wine-env.sh

if [[ "$arch" == i686 ]]; then bits=32; else bits=64; fi
if [[ "$WINEARCH" == win32 ]]; then windows=32; else windows=64; fi
echo "end-to-end tests of the ${bits}-bit $agent_exe on a ${windows}-bit Windows"
work="$(mktemp -d /tmp/orv-e2e.XXXXXX)"
trap 'stop_helpers; rm -rf "$work"; orv_wine_env_cleanup' EXIT

# The HTTPS server's certificates; the prefix (and nothing outside it) trusts the test authority:
# its certificate in the current user's root store, as the system's certificate functions keep
# it (under the upper-case SHA-1 of the certificate, a Blob of property 32 with the certificate).
# attacker.test: a stranger's host with a certificate that checks out, for the redirect scenarios.
bash "$here/make_certs.sh" "$work/certs" orvastell.test attacker.test
read -r ca_sha1 ca_blob < <(python3 - "$work/certs/ca.pem" <<'PY'
import hashlib, ssl, struct, sys
der = ssl.PEM_cert_to_DER_cert(open(sys.argv[1]).read())
print(hashlib.sha1(der).hexdigest().upper(), (struct.pack("<III", 32, 1, len(der)) + der).hex())
PY
)
orv_wine_native reg add "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$ca_sha1" /v Blob /t REG_BINARY \
  /d "$ca_blob" /f </dev/null >/dev/null

python3 "$here/http_server.py" --port-file "$work/port" --mode-file "$work/mode" --log-file "$work/requests.log" \
  --hold-file "$work/hold" \
  --tls-cert "$work/certs/server-chain.pem" --tls-key "$work/certs/server.key" \
  --tls-untrusted-cert "$work/certs/untrusted-chain.pem" --tls-untrusted-key "$work/certs/untrusted.key" \
  >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 100); do [[ -s "$work/port" ]] && break; sleep 0.1; done
port="$(cat "$work/port")"
dead_port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"

# Screenshots on request of the UI driver (it writes the name into request.txt and waits).
shots="$work/shots"
mkdir -p "$shots"
(
  while true; do
    if [[ -f "$shots/request.txt" ]]; then
      name="$(tr -d '\r\n' <"$shots/request.txt")"
      import -window root "$artefacts/$name.png" 2>/dev/null || true
      rm -f "$shots/request.txt"
    fi
    sleep 0.05
  done
) &
watcher_pid=$!

drive_c="$WINEPREFIX/drive_c"
base="$drive_c/orvtest"
mkdir -p "$base/tools"
cp "$tools/recorder.exe" "$tools/uidriver.exe" "$tools/locker.exe" "$tools/planted.dll" "$base/tools/"
# The 32-bit system folder, where the agent keeps the (32-bit) transfer control and whose
# regsvr32 registers it: syswow64 on a 64-bit Windows, system32 on a 32-bit one.
if [[ "$WINEARCH" == win32 ]]; then
  syswow64="$drive_c/windows/system32"
  syswow64_win='C:\windows\system32'
else
  syswow64="$drive_c/windows/syswow64"
  syswow64_win='C:\windows\syswow64'
fi
# regsvr32 is the recorder, which logs the path it was started from: the one in the 32-bit system
# folder is the right one; the one in the 64-bit system folder (and those that scenarios plant
# beside the agent and in the current folder) must never run. The overrides make Wine run these
# files rather than its own built-in program (in a 32-bit prefix only the environment's is heeded).
cp "$tools/recorder.exe" "$syswow64/regsvr32.exe"
cp "$tools/recorder.exe" "$drive_c/windows/system32/regsvr32.exe"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES};regsvr32.exe=n"
# Where a 64-bit program would find the install folder (see new_scenario): a front-end that the
# agent must never open.
mkdir -p "$base/decoy"
printf 'decoy front-end' >"$base/decoy/ORV.mde"
export ORVTEST_LOG_DIR='C:\orvtest\tools'

cat >"$work/prefix.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]
"ProxyEnable"=dword:00000001
"ProxyServer"="127.0.0.1:$port"
"ProxyOverride"=""

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]
"regsvr32.exe"="native"

[HKEY_CLASSES_ROOT\\.mde]
@="OrvTest.Recorder"

[HKEY_CLASSES_ROOT\\.msi]
@="OrvTest.Recorder"

[HKEY_CLASSES_ROOT\\OrvTest.Recorder\\shell\\open\\command]
@="\\"C:\\\\orvtest\\\\tools\\\\recorder.exe\\" \\"%1\\""
EOF
orv_regedit "$work/prefix.reg" "$work/prefix.reg"

# ------------------------------------------------------------------ backend checks

# The helpers of the scenarios; fail() and the count of failures serve the backend checks too.
# shellcheck source=lib.sh
. "$here/lib.sh"
scenario="backend"
# GoogleTest's brief output: the failed checks, if any, then a summary whose last line is the verdict.
if [[ -n "${ORV_E2E_ONLY:-}" ]]; then
  echo "backend checks skipped (ORV_E2E_ONLY)"
elif ! wine "$(winpath "$tools/backend_check.exe")" --gtest_brief=1 "$port" "$dead_port" </dev/null \
  >"$work/backend.out" 2>&1; then
  sed 's/^/    /' "$work/backend.out"
  fail "backend_check.exe failed"
else
  echo "backend checks (windows, transfer control)"
  tail -n 1 "$work/backend.out" | sed 's/^/    /'
fi

# ------------------------------------------------------------------ the scenarios

for part in start launch update provision download faults; do
  # shellcheck source=/dev/null
  . "$here/scenarios_$part.sh"
done
suite_started=$SECONDS
for listed in "${scenarios[@]}"; do
  [[ -z "${ORV_E2E_ONLY:-}" || "$listed" =~ $ORV_E2E_ONLY ]] || continue
  scenario_started=$SECONDS
  scenarios_run=$((${scenarios_run:-0} + 1))
  "scenario_$listed"
  echo "  ($listed: $((SECONDS - scenario_started)) s)"
done

scenario="selection"
((${scenarios_run:-0} > 0)) || fail "no scenario matches ORV_E2E_ONLY=${ORV_E2E_ONLY:-}"
if [[ -z "${ORV_E2E_ONLY:-}" ]]; then
  scenario="screenshots"
  for name in "${shot_names[@]}"; do
    [[ -s "$artefacts/$name.png" ]] || fail "no screenshot $name.png"
  done
fi

screenshots="$(cd "$artefacts" && ls ./*.png 2>/dev/null | tr '\n' ' ')" || true
echo "scenarios took $((SECONDS - suite_started)) s; screenshots in $artefacts: $screenshots"
if ((failures)); then
  echo "wine tests: $failures failure(s)"
  exit 1
fi
echo "wine tests: all passed"
