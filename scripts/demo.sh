#!/usr/bin/env bash
# Demo: sets up a sample installation of the agent in a scratch Wine prefix and runs it, in one of
# three scenarios:
#
#   bash scripts/demo.sh [update|download|refuse]
#
#   update    Access 2003 is installed; config.ini names an update location that offers a newer
#             front-end: the "Automatic Update" window shows, the file is copied, the new
#             revision recorded, and the front-end opened.
#   download  No Access: the agent offers the Access 2003 Runtime; on Yes it downloads the
#             runtime from a local server (through the system proxy setting) in the download
#             window, then opens the installer package.
#   refuse    No Access, and the offer answered No: "Can not continue".
#
# With a display (DISPLAY set) the windows appear on it and you answer the boxes yourself;
# without one the agent runs on a private Xvfb display, the boxes are answered for you and
# screenshots are written to build/artefacts/demo-*.png. In both cases what the windows show is
# printed as it changes. The shell's "open" of .mde and .msi files is pointed, in the scratch
# prefix, at a small recorder, so the demo can tell what the agent opened. ORV_EXE names an
# Orvastell.exe to use instead of building one. The UI driver and the recorder are CMake targets
# of the cross build for the agent's architecture (tests/wine/helper_programs.sh says which tree).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scenario="${1:-}"
if [[ -z "$scenario" ]]; then
  if [[ -t 0 ]]; then
    echo "Which scenario should the demo show?"
    echo "  1) update   - update the front-end, then open it"
    echo "  2) download - no Access: download the runtime from a local server, then install"
    echo "  3) refuse   - no Access, the offer answered No"
    read -r -p "Choice [1]: " choice
    case "${choice:-1}" in
      1 | update) scenario=update ;;
      2 | download) scenario=download ;;
      3 | refuse) scenario=refuse ;;
      *) echo "demo: unknown choice '$choice'" >&2; exit 2 ;;
    esac
  else
    scenario=update
  fi
fi
case "$scenario" in update | download | refuse) ;; *) echo "usage: $0 [update|download|refuse]" >&2; exit 2 ;; esac

bash scripts/setup.sh
# shellcheck source=arch32.sh
. scripts/arch32.sh
# shellcheck source=presets.sh
. scripts/presets.sh
if [[ -n "${ORV_EXE:-}" ]]; then
  agent_exe="$ORV_EXE"  # an Orvastell.exe built elsewhere
elif orv_32bit_ready; then
  # The program users get: 32-bit, as the release build makes it (with the development download
  # address, which the demo's server answers through the proxy setting).
  echo "Building the 32-bit Orvastell.exe..."
  preset="$(orv_test_preset i686)"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target Orvastell >/dev/null
  agent_exe="$(orv_agent_in "$(orv_preset_dir "$preset")")"
else
  echo "Building the 64-bit Orvastell.exe (the 32-bit one cannot run here: $ORV_32BIT_REASON)..."
  preset="$(orv_test_preset x86_64)"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target Orvastell >/dev/null
  agent_exe="$(orv_agent_in "$(orv_preset_dir "$preset")")"
fi
# The helper programs, built by CMake for the agent's architecture.
arch="$(orv_pe_arch "$agent_exe")"
[[ "$arch" == i686 || "$arch" == x86_64 ]] || { echo "demo: $agent_exe is no x86 Windows program" >&2; exit 2; }
# shellcheck source=../tests/wine/helper_programs.sh
. tests/wine/helper_programs.sh
tools="$(orv_helper_programs "$arch" "$agent_exe" uidriver recorder)"
mkdir -p build/artefacts

interactive=0
[[ -n "${DISPLAY:-}" ]] && interactive=1
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
echo "Preparing a scratch Wine prefix (this takes a little while the first time)..."
# shellcheck source=wine-env.sh
. scripts/wine-env.sh

work="$(mktemp -d /tmp/orv-demo.XXXXXX)"
server_pid=""
watcher_pid=""
finish() {
  local pid
  for pid in $watcher_pid $server_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
  orv_wine_env_cleanup
}
trap finish EXIT

winpath() { echo "Z:${1//\//\\}"; }
drive_c="$WINEPREFIX/drive_c"
app="$drive_c/Orvastell"
mkdir -p "$app/config" "$app/runtime" "$drive_c/OrvastellUpdates" "$drive_c/OrvastellTools"
cp "$agent_exe" "$app/Orvastell.exe"
cp "$tools/recorder.exe" "$drive_c/OrvastellTools/"
# The transfer control is in place, in the 32-bit system folder.
: >"$drive_c/windows/syswow64/MSINET.OCX"
: >"$drive_c/windows/syswow64/MSINET.oca"
crlf() { printf '%s\r\n' "$@"; }
crlf "[UpdateFrontend]" "UpdateLocation=C:\\OrvastellUpdates\\update.ini" "FileRevision=1" >"$app/config/config.ini"
crlf "[UpdateFrontend]" "FileRevision=2" "FileLocation=C:\\OrvastellUpdates\\ORV.mde" >"$drive_c/OrvastellUpdates/update.ini"
printf 'Orvastell front-end, revision 1' >"$app/ORV.mde"
printf 'Orvastell front-end, revision 2' >"$drive_c/OrvastellUpdates/ORV.mde"
printf 'installer package of the runtime (a stand-in)' >"$app/runtime/ACCESSRT.MSI"

python3 tests/wine/http_server.py --port-file "$work/port" --mode normal --size $((34148 * 1024)) \
  --log-file "$work/requests.log" >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 100); do [[ -s "$work/port" ]] && break; sleep 0.1; done
port="$(cat "$work/port")"

access_key=""
if [[ "$scenario" == update ]]; then
  access_key=$'[HKEY_CLASSES_ROOT\\Access.Database\\CurVer]\n@="Access.Database.11"'
fi
cat >"$work/shared.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]
"ProxyEnable"=dword:00000001
"ProxyServer"="127.0.0.1:$port"

[HKEY_CLASSES_ROOT\\.mde]
@="OrvDemo.Recorder"

[HKEY_CLASSES_ROOT\\.msi]
@="OrvDemo.Recorder"

[HKEY_CLASSES_ROOT\\OrvDemo.Recorder\\shell\\open\\command]
@="\\"C:\\\\OrvastellTools\\\\recorder.exe\\" \\"%1\\""

[-HKEY_CLASSES_ROOT\\Access.Database]

$access_key

EOF
# The install folder goes where the product's 32-bit installer writes it on 64-bit Windows: the
# 32-bit view of HKEY_LOCAL_MACHINE, kept under Wow6432Node. The prefix's own (64-bit) regedit
# stores the key under the name it is given, where a 32-bit regedit would add Wow6432Node once
# more; the keys that both views share are written for both.
{
  cat "$work/shared.reg"
  echo '[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Quenlark\Orvastell]'
  echo '@="C:\\Orvastell"'
} >"$work/demo.reg"
orv_regedit "$work/demo.reg" "$work/shared.reg"

rules=()
if ((interactive)); then
  echo "Running the agent on your display ($DISPLAY); answer its boxes as you like."
else
  echo "Running the agent under Xvfb; the boxes are answered for you."
  rm -f build/artefacts/demo-*.png
  mkdir -p "$work/shots"
  (
    while true; do
      if [[ -f "$work/shots/request.txt" ]]; then
        import -window root "build/artefacts/demo-$(tr -d '\r\n' <"$work/shots/request.txt").png" 2>/dev/null || true
        rm -f "$work/shots/request.txt"
      fi
      sleep 0.05
    done
  ) &
  watcher_pid=$!
  answer=Yes
  [[ "$scenario" == refuse ]] && answer=No
  rules=(--shotdir "$(winpath "$work/shots")"
    --on "Automatic Update" "*" "shot:update-window"
    --on "Download MS Access 2003 Runtime?" "*" "shot:question,press:$answer"
    --on "Can not continue" "*" "shot:information,press:OK"
    --on "File download*" "*Downloading file:*" "holdatbar,sleep:1100,thawuntil:*Time left: *sec*,shot:download-window,thaw"
    --on "Whoops!" "*" "shot:error,press:OK")
fi

: >"$work/ui.log"
wine "$(winpath "$tools/uidriver.exe")" --log "$(winpath "$work/ui.log")" --timeout 600 "${rules[@]}" \
  -- "C:\\Orvastell\\Orvastell.exe" </dev/null >/dev/null 2>&1 &
driver_pid=$!
# What the windows show, as it changes, until the driver (and so the agent) has ended.
tail -n +1 -f --pid="$driver_pid" "$work/ui.log" | sed -u 's/^/  | /'
agent_exit=0
wait "$driver_pid" || agent_exit=$?
sleep 1  # the program the shell started may still be writing its record

echo
echo "The agent has ended (exit code $agent_exit)."
opened=""
[[ -f "$drive_c/OrvastellTools/opened.log" ]] && opened="$(tr -d '\r' <"$drive_c/OrvastellTools/opened.log")"
if [[ -n "$opened" ]]; then
  echo "It asked the shell to open: $opened"
else
  echo "It opened nothing."
fi
echo "config.ini now reads:"
tr -d '\r' <"$app/config/config.ini" | sed 's/^/  /'
echo
if [[ -f "$app/runtime/ACCESSRT.CAB" ]]; then
  echo "Downloaded: runtime\\ACCESSRT.CAB, $(stat -c %s "$app/runtime/ACCESSRT.CAB") bytes"
fi
if ((!interactive)); then
  echo "Screenshots: $(ls build/artefacts/demo-*.png 2>/dev/null | tr '\n' ' ')"
fi

# Did the agent do what this scenario shows? If not, say why and fail.
problems=()
((agent_exit == 0)) || problems+=("it ended with exit code $agent_exit")
while IFS= read -r box; do
  problems+=("it showed a box that this scenario does not expect: ${box#SHOW #32770|}")
done < <(grep -E '^SHOW #32770\|(Whoops!|Orvastell)\|' "$work/ui.log" || true)
case "$scenario" in
  update)
    [[ "$opened" == 'C:\Orvastell\ORV.mde' ]] || problems+=('it did not open C:\Orvastell\ORV.mde')
    tr -d '\r' <"$app/config/config.ini" | grep -qx 'FileRevision=2' || problems+=("config.ini does not record revision 2")
    cmp -s "$app/ORV.mde" "$drive_c/OrvastellUpdates/ORV.mde" || problems+=("the front-end was not updated")
    ;;
  download)
    [[ "$opened" == 'C:\Orvastell\runtime\ACCESSRT.MSI' ]] || problems+=("it did not open the runtime's installer package")
    [[ "$(stat -c %s "$app/runtime/ACCESSRT.CAB" 2>/dev/null || echo 0)" == $((34148 * 1024)) ]] \
      || problems+=("it did not save the runtime's cabinet whole")
    ;;
  refuse)
    grep -q '^SHOW #32770|Can not continue|' "$work/ui.log" || problems+=("it did not say that it cannot continue")
    [[ -z "$opened" ]] || problems+=("it opened $opened")
    ;;
esac
if ((${#problems[@]})); then
  printf 'demo: the agent did not do its job: %s\n' "${problems[@]}" >&2
  exit 1
fi
echo "demo: the agent did what the '$scenario' scenario shows."
