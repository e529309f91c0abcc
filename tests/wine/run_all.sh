#!/usr/bin/env bash
# End-to-end tests of Orvastell.exe under Wine, on a private Xvfb display, in one scratch prefix:
#   * backend_check.exe: the real windows and the real transfer control against the local server;
#   * the roads of a run, each in a fresh application folder with fresh registry values, answered
#     by uidriver.exe, with the shell's "open" of .mde and .msi pointed at recorder.exe.
# Screenshots go to build/artefacts/. Set ORV_EXE to test another Orvastell.exe.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
here="tests/wine"
tools="build/wine-tests"
artefacts="${ORV_ARTEFACTS:-build/artefacts}"
mkdir -p "$tools" "$artefacts"
shot_names=(update-window box-question box-information download-window box-error)
for name in "${shot_names[@]}"; do rm -f "$artefacts/$name.png"; done

# ------------------------------------------------------------------ programs

find_agent() {
  if [[ -n "${ORV_EXE:-}" ]]; then echo "$ORV_EXE"; return; fi
  local candidate
  for candidate in build/mingw/src/platform/win32/Orvastell.exe build/mingw/Orvastell.exe; do
    [[ -f "$candidate" ]] && { echo "$candidate"; return; }
  done
  cmake --preset mingw >/dev/null && cmake --build --preset mingw --target Orvastell >/dev/null
  echo build/mingw/src/platform/win32/Orvastell.exe
}
agent_exe="$(find_agent)"
[[ -f "$agent_exe" ]] || { echo "run_all: no Orvastell.exe ($agent_exe)" >&2; exit 1; }

cc=x86_64-w64-mingw32-gcc-posix
cxx=x86_64-w64-mingw32-g++-posix
stale() {  # stale TARGET SOURCES...: true when TARGET is missing or older than a source
  local target="$1" source
  shift
  [[ -f "$target" ]] || return 0
  for source in "$@"; do [[ "$source" -nt "$target" ]] && return 0; done
  return 1
}
if stale "$tools/uidriver.exe" "$here/uidriver.c"; then
  $cc -O1 -Wall -o "$tools/uidriver.exe" "$here/uidriver.c"
fi
if stale "$tools/recorder.exe" "$here/recorder.c"; then
  $cc -O1 -Wall -mwindows -o "$tools/recorder.exe" "$here/recorder.c"
fi
backend_sources=("$here/backend_check.cpp" src/platform/win32/Win32Windows.cpp src/platform/win32/Win32Transfer.cpp)
if stale "$tools/backend_check.exe" "${backend_sources[@]}" src/platform/win32/*.h src/platform/*.h; then
  $cxx -std=c++20 -O1 -Wall -Isrc "${backend_sources[@]}" -static -lwininet -lcomctl32 -lgdi32 -luser32 \
    -o "$tools/backend_check.exe"
fi

# ------------------------------------------------------------------ Wine, display, server

server_pid=""
watcher_pid=""
stop_helpers() {
  local pid
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

work="$(mktemp -d /tmp/orv-e2e.XXXXXX)"
trap 'stop_helpers; rm -rf "$work"; orv_wine_env_cleanup' EXIT

python3 "$here/http_server.py" --port-file "$work/port" --mode-file "$work/mode" --log-file "$work/requests.log" \
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

winpath() { echo "Z:${1//\//\\}"; }
drive_c="$WINEPREFIX/drive_c"
base="$drive_c/orvtest"
mkdir -p "$base/tools"
cp "$tools/recorder.exe" "$tools/uidriver.exe" "$base/tools/"
# The transfer control is already in the system folder: provisioning has nothing to do.
: >"$drive_c/windows/system32/MSINET.OCX"
: >"$drive_c/windows/system32/MSINET.oca"

cat >"$work/prefix.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]
"ProxyEnable"=dword:00000001
"ProxyServer"="127.0.0.1:$port"
"ProxyOverride"=""

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CLASSES_ROOT\\.mde]
@="OrvTest.Recorder"

[HKEY_CLASSES_ROOT\\.msi]
@="OrvTest.Recorder"

[HKEY_CLASSES_ROOT\\OrvTest.Recorder\\shell\\open\\command]
@="\\"C:\\\\orvtest\\\\tools\\\\recorder.exe\\" \\"%1\\""
EOF
wine regedit /S "$(winpath "$work/prefix.reg")" </dev/null

# ------------------------------------------------------------------ helpers of the scenarios

failures=0
scenario=""
fail() {
  echo "  FAIL [$scenario] $*"
  failures=$((failures + 1))
}
expect_log() {  # expect_log TEXT: the driver's log has a line containing TEXT
  grep -qF -- "$1" "$dir/ui.log" || fail "driver log lacks: $1"
}
refuse_log() {
  if grep -qF -- "$1" "$dir/ui.log"; then fail "driver log has: $1"; fi
}
crlf() { printf '%s\r\n' "$@"; }

# new_scenario NAME CURVER: a fresh application folder C:\orvtest\NAME\app with the agent, its
# config folder and an empty log of opened files; the registry values for this run. CURVER empty
# means no Access at all.
new_scenario() {
  scenario="$1"
  echo "scenario: $scenario"
  dir="$work/$scenario"
  mkdir -p "$dir"
  app="$base/$scenario/app"
  app_win="C:\\orvtest\\$scenario\\app"
  rm -rf "${base:?}/$scenario"
  mkdir -p "$app/config" "$base/$scenario/server"
  cp "$agent_exe" "$app/Orvastell.exe"
  rm -f "$base/tools/opened.log"
  local curver="$2"
  {
    echo "REGEDIT4"
    echo
    echo "[-HKEY_CLASSES_ROOT\\Access.Database]"
    echo
    if [[ -n "$curver" ]]; then
      echo "[HKEY_CLASSES_ROOT\\Access.Database\\CurVer]"
      echo "@=\"$curver\""
      echo
    fi
    echo "[-HKEY_LOCAL_MACHINE\\Software\\Quenlark]"
    echo
    echo "[HKEY_LOCAL_MACHINE\\Software\\Quenlark\\Orvastell]"
    echo "@=\"${app_win//\\/\\\\}\""
  } >"$dir/scenario.reg"
  wine regedit /S "$(winpath "$dir/scenario.reg")" </dev/null
  : >"$work/requests.log"
}

# run_agent TIMEOUT RULES...: runs the agent under the UI driver; sets $exit_code.
run_agent() {
  local timeout="$1"
  shift
  exit_code=0
  wine "C:\\orvtest\\tools\\uidriver.exe" --log "$(winpath "$dir/ui.log")" --timeout "$timeout" \
    --shotdir "$(winpath "$shots")" "$@" \
    --on "Whoops!" "*" "shot:$scenario-unexpected-error,press:OK" \
    -- "$app_win\\Orvastell.exe" </dev/null >"$dir/driver.out" 2>&1 || exit_code=$?
  sed 's/^/    /' "$dir/ui.log"
}

# The programs started through the shell run on after the agent: give them a moment.
opened_files() {
  for _ in $(seq 40); do [[ -f "$base/tools/opened.log" ]] && break; sleep 0.1; done
  sleep 0.3
  if [[ -f "$base/tools/opened.log" ]]; then tr -d '\r' <"$base/tools/opened.log"; fi
}

# ------------------------------------------------------------------ backend checks

scenario="backend"
echo "backend checks (windows, transfer control)"
if ! wine "$(winpath "$root/$tools/backend_check.exe")" "$port" "$dead_port" </dev/null >"$work/backend.out" 2>&1; then
  sed 's/^/    /' "$work/backend.out"
  fail "backend_check.exe failed"
else
  tail -n 1 "$work/backend.out" | sed 's/^/    /'
fi

# ------------------------------------------------------------------ the "ok" road

new_scenario ok "Access.Database.11"
crlf "[UpdateFrontend]" "UpdateLocation=C:\\orvtest\\ok\\server\\update.ini" "FileRevision=6" >"$app/config/config.ini"
crlf "[UpdateFrontend]" "FileRevision=007" "FileLocation=C:\\orvtest\\ok\\server\\ORV.mde" >"$base/ok/server/update.ini"
printf 'front-end revision 6' >"$app/ORV.mde"
head -c 70000 /dev/urandom >"$base/ok/server/ORV.mde"
run_agent 40 --on "Automatic Update" "*" "shot:update-window"
[[ "$exit_code" == 0 ]] || fail "exit code $exit_code"
expect_log "SHOW OrvastellUpdateForm|Automatic Update|Running automatic update. Please wait...|"
expect_log "GONE OrvastellUpdateForm|Automatic Update"
refuse_log "#32770"
cmp -s "$base/ok/server/ORV.mde" "$app/ORV.mde" || fail "ORV.mde was not replaced by the new revision"
grep -q $'^FileRevision=7\r$' "$app/config/config.ini" || fail "config.ini does not record FileRevision=7"
grep -q '^FileLastUpdate=.' "$app/config/config.ini" || fail "config.ini has no FileLastUpdate"
opened="$(opened_files)"
[[ "$opened" == "$app_win\\ORV.mde" ]] || fail "opened [$opened], expected [$app_win\\ORV.mde]"

# ------------------------------------------------------------------ "noAccess", answered No

new_scenario noaccess-no ""
run_agent 40 \
  --on "Download MS Access 2003 Runtime?" "*" "shot:box-question,press:No" \
  --on "Can not continue" "*" "shot:box-information,press:OK"
[[ "$exit_code" == 0 ]] || fail "exit code $exit_code"
expect_log "SHOW #32770|Download MS Access 2003 Runtime?|It appears you do not have Microsoft Access 2003 installed on your computer.\n\nDo you wish to download and install the free Microsoft Access 2003 Runtime onto your computer?\n\nPlease note, depending on the speed of your Internet connection, this may take a few minutes.|"
expect_log "SHOW #32770|Can not continue|Sorry, Orvastell can not operate without Microsoft Access 2003 (or the Microsoft Access 2003 Runtime), and will now close.|"
refuse_log "OrvastellDownloadForm"
[[ -z "$(opened_files)" ]] || fail "something was opened: $(opened_files)"
[[ ! -s "$work/requests.log" ]] || fail "a request reached the server"

# ------------------------------------------------------------------ "noAccess", Yes, download

if grep -q "Not built yet" src/download/frmDownloadFile.cpp 2>/dev/null; then
  echo "scenario: download roads skipped (the download window's logic is not built yet)"
else
  runtime_kb=34148
  runtime_size=$((runtime_kb * 1024))

  new_scenario download-ok ""
  mkdir -p "$app/runtime"
  printf 'installer package' >"$app/runtime/ACCESSRT.MSI"
  echo "normal $runtime_size" >"$work/mode"
  run_agent 120 \
    --on "Download MS Access 2003 Runtime?" "*" "press:Yes" \
    --on "File download - Microsoft Access 2003 Runtime" "*Downloading file:*,???.?? KB @*" "shot:download-window"
  [[ "$exit_code" == 0 ]] || fail "exit code $exit_code"
  expect_log "|File download - Microsoft Access 2003 Runtime|"
  expect_log "Downloading file:\nhttp://"
  expect_log "GONE OrvastellDownloadForm"
  grep -q "^GET http://[^ ]*/downloads/runtime/ACCESSRT.CAB$" "$work/requests.log" \
    || fail "no proxied GET of the runtime: $(cat "$work/requests.log")"
  python3 - "$app/runtime/ACCESSRT.CAB" "$runtime_size" <<'EOF' || fail "ACCESSRT.CAB is not the served body"
import sys
sys.path.insert(0, "tests/wine")
from http_server import body_bytes
with open(sys.argv[1], "rb") as f:
    sys.exit(0 if f.read() == body_bytes(int(sys.argv[2])) else 1)
EOF
  opened="$(opened_files)"
  [[ "$opened" == "$app_win\\runtime\\ACCESSRT.MSI" ]] || fail "opened [$opened], expected the installer package"

  new_scenario download-404 ""
  mkdir -p "$app/runtime"
  printf 'installer package' >"$app/runtime/ACCESSRT.MSI"
  echo "404" >"$work/mode"
  run_agent 60 \
    --on "Download MS Access 2003 Runtime?" "*" "press:Yes" \
    --on "Whoops!" "*404*" "shot:box-error,press:OK"
  expect_log "SHOW #32770|Whoops!|A problem has occured:\n"
  [[ ! -e "$app/runtime/ACCESSRT.CAB" ]] || fail "a failed download was saved"
  [[ -z "$(ls "$app/runtime" | grep -v '^ACCESSRT.MSI$' || true)" ]] || fail "left files: $(ls "$app/runtime")"
  [[ -z "$(opened_files)" ]] || fail "the installer was opened after a failed download"

  # The close box while the server has not answered: the request is dropped at once and, with
  # no window left, the agent ends; nothing is saved or installed.
  new_scenario download-close ""
  mkdir -p "$app/runtime"
  printf 'installer package' >"$app/runtime/ACCESSRT.MSI"
  echo "stall" >"$work/mode"
  started=$SECONDS
  run_agent 60 \
    --on "Download MS Access 2003 Runtime?" "*" "press:Yes" \
    --on "File download - Microsoft Access 2003 Runtime" "Establishing connection*" "sleep:1500,close"
  [[ "$exit_code" == 0 ]] || fail "exit code $exit_code"
  expect_log "DO close (on File download - Microsoft Access 2003 Runtime)"
  expect_log "GONE OrvastellDownloadForm"
  refuse_log "Whoops!"
  ((SECONDS - started < 20)) || fail "the agent took $((SECONDS - started)) s to end after the close box"
  [[ ! -e "$app/runtime/ACCESSRT.CAB" ]] || fail "a cancelled download was saved"
  [[ -z "$(opened_files)" ]] || fail "the installer was opened after the close box"

  for name in "${shot_names[@]}"; do
    [[ -s "$artefacts/$name.png" ]] || fail "no screenshot $name.png"
  done
fi

echo "screenshots in $artefacts: $(cd "$artefacts" && ls ./*.png 2>/dev/null | tr '\n' ' ')"
if ((failures)); then
  echo "wine tests: $failures failure(s)"
  exit 1
fi
echo "wine tests: all passed"
