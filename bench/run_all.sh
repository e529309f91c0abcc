#!/usr/bin/env bash
# Benchmarks of Orvastell.exe under Wine, each against a baseline measured in the same run on the
# same machine, and printed as one line: name, measured values, ratio, target, PASS or MISS.
#
#   bash bench/run_all.sh
#
# The 64-bit build is measured always; the 32-bit build (the shipped program, against baselines
# built for 32-bit Windows) too where this machine runs 32-bit programs, each on lines of its own.
#
# The agent is built with its trace compiled in (ORV_TRACE; the shipped build has none), and the
# figures are taken from the traces, in which the agent and the baselines time themselves with one
# clock (microseconds since the process was created).
# download  Orvastell.exe in the "noAccess" case, the offer answered Yes by bench/agent_watch.exe,
#           fetching the 34,148 KB runtime cabinet from tests/wine/http_server.py through the
#           system proxy setting (no ACCESSRT.MSI, so nothing is installed), from the Yes click to
#           the cabinet renamed in place, against bench/mini_download.exe from its process start
#           to its file closed (it loads WinINet and opens a session too), same server, same
#           proxy setting; the window's amount must change about once a second during the
#           read-out; and the agent's peak working set against the body's size.
# copy      orv::CopyFile of a 200 MB file against CopyFileA followed by a flush of the new file
#           (the durability the agent gives its copies); CopyFileA alone is printed beside it.
# startup   Orvastell.exe in the "ok" case with nothing to update, from its process start to the
#           return of the shell's open of ORV.mde, against bench/shell_open.exe (COM initialised,
#           then ShellExecuteA on the same file) over the same span.
# Times are medians over several runs taken in turn. Not part of the tests: absolute figures on
# a shared machine are noise, and the ratios move with the load (the load average at the start
# and at the end of each build's run is printed with its figures). ORV_BENCH_BUILD_DIR moves the
# build tree (default build/bench-mingw); ORV_BENCH_ROUNDS sets the download rounds (default 7).
# Every line names the build it is about; "python3 bench/report.py summary LOG..." gives the
# median and the spread of each figure over the logs of several runs.
# ORV_BENCH_BEFORE names another traced Orvastell.exe (built the same way from an earlier commit):
# it is run in the same rounds, in turn with this one, and reported on lines of its own, so that
# a change is measured before and after, side by side, in one run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
exec </dev/null

# Each build is measured in a run of its own: the 64-bit one always, and the 32-bit one (the
# program that is shipped, against baselines built for 32-bit Windows too) where this machine
# runs 32-bit programs. ORV_BENCH_ARCH=x86_64 or i686 measures that one alone.
if [[ -z "${ORV_BENCH_ARCH:-}" ]]; then
  bash scripts/setup.sh
  # shellcheck source=../scripts/arch32.sh
  . scripts/arch32.sh
  status=0
  ORV_BENCH_ARCH=x86_64 bash "$root/bench/run_all.sh" || status=1
  if orv_32bit_ready; then
    ORV_BENCH_ARCH=i686 bash "$root/bench/run_all.sh" || status=1
  else
    echo "The 32-bit build is not measured: $ORV_32BIT_REASON"
  fi
  exit "$status"
fi

bash scripts/setup.sh
rounds="${ORV_BENCH_ROUNDS:-7}"
if [[ "$ORV_BENCH_ARCH" == i686 ]]; then
  bits=32 build="${ORV_BENCH_BUILD_DIR:-build/bench-mingw-x86}"
else
  bits=64 build="${ORV_BENCH_BUILD_DIR:-build/bench-mingw}"
fi
# shellcheck source=../scripts/presets.sh
. scripts/presets.sh
preset="$(orv_test_preset "$ORV_BENCH_ARCH")"
# The recorder of the end-to-end tests (tests/wine) stands in for the programs that open the
# front-end and the runtime's installer package.
echo "Building the ${bits}-bit Orvastell.exe (traced) and the benchmark programs in $build..."
cmake --preset "$preset" -B "$build" -DORV_TRACE=ON -DORV_TRACE_FILE=C:/orvbench/trace.log >/dev/null
cmake --build "$build" -j 2 --target Orvastell mini_download shell_open run_timed agent_watch copy_bench recorder \
  >/dev/null

server_pid=""
work="$(mktemp -d /tmp/orv-bench.XXXXXX)"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
unset DISPLAY  # a private display: no windows on the user's screen
echo "Preparing a scratch Wine prefix..."
# shellcheck source=../scripts/wine-env.sh
. scripts/wine-env.sh
finish() {
  if [[ -n "$server_pid" ]]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
  orv_wine_env_cleanup
}
trap finish EXIT

winpath() { echo "Z:${1//\//\\}"; }
crlf() { printf '%s\r\n' "$@"; }
drive_c="$WINEPREFIX/drive_c"
bench="$drive_c/orvbench"
app="$bench/app"
mkdir -p "$app/config" "$app/runtime" "$bench/tools" "$bench/update" "$bench/copy"
cp "$(orv_agent_in "$build")" "$app/"
# The agents measured: "agent" always; "before" too when ORV_BENCH_BEFORE names one. Each has an
# application folder of its own (the settings are copied to both below).
agents=(agent)
if [[ -n "${ORV_BENCH_BEFORE:-}" ]]; then
  agents+=(before)
  mkdir -p "$bench/before/config" "$bench/before/runtime"
  cp "$ORV_BENCH_BEFORE" "$bench/before/Orvastell.exe"
fi
folder_of() { [[ "$1" == agent ]] && echo app || echo before; }
trace="$drive_c/orvbench/trace.log"
for program in mini_download shell_open run_timed agent_watch copy_bench; do
  cp "$build/bench/$program.exe" "$bench/tools/"
done
cp "$build/tests/wine/recorder.exe" "$bench/tools/"
# The transfer control is in the system folder already: provisioning has nothing to do.
: >"$drive_c/windows/syswow64/MSINET.OCX"
: >"$drive_c/windows/syswow64/MSINET.oca"

body_size=$((34148 * 1024))
python3 tests/wine/http_server.py --port-file "$work/port" --mode normal --size "$body_size" \
  --log-file "$work/requests.log" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 100); do [[ -s "$work/port" ]] && break; sleep 0.1; done
port="$(cat "$work/port")"

# registry ACCESS: the prefix's settings; ACCESS empty means no Access installed.
registry() {
  {
    echo "REGEDIT4"
    echo
    echo "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]"
    echo "\"ProxyEnable\"=dword:00000001"
    echo "\"ProxyServer\"=\"127.0.0.1:$port\""
    echo "\"ProxyOverride\"=\"\""
    echo
    echo "[HKEY_CLASSES_ROOT\\.mde]"
    echo "@=\"OrvBench.Recorder\""
    echo
    echo "[HKEY_CLASSES_ROOT\\.msi]"
    echo "@=\"OrvBench.Recorder\""
    echo
    echo "[HKEY_CLASSES_ROOT\\OrvBench.Recorder\\shell\\open\\command]"
    echo "@=\"\\\"C:\\\\orvbench\\\\tools\\\\recorder.exe\\\" \\\"%1\\\"\""
    echo
    echo "[-HKEY_CLASSES_ROOT\\Access.Database]"
    echo
    if [[ -n "$1" ]]; then
      echo "[HKEY_CLASSES_ROOT\\Access.Database\\CurVer]"
      echo "@=\"$1\""
      echo
    fi
  } >"$work/shared.reg"
  {
    cat "$work/shared.reg"
    echo "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Quenlark\\Orvastell]"
    echo "@=\"C:\\\\orvbench\\\\app\""
  } >"$work/bench.reg"
  orv_regedit "$work/bench.reg" "$work/shared.reg"
}

results="$work/results"
: >"$results"

# ------------------------------------------------------------------ download
load_start="$(cut -d' ' -f1 /proc/loadavg)"
echo "[${bits}-bit] download: $rounds rounds of Orvastell.exe and mini_download.exe, $body_size bytes each..."
registry ""
url="http://downloads.quenlark.com/downloads/runtime/ACCESSRT.CAB"
python3 -c "import sys; sys.path.insert(0, 'tests/wine'); from http_server import body_bytes; sys.stdout.buffer.write(body_bytes($body_size))" >"$work/body"
for round in $(seq "$rounds"); do
  for who in "${agents[@]}"; do
    folder="$(folder_of "$who")"
    rm -f "$bench/$folder/runtime/ACCESSRT.CAB" "$trace"
    wine "C:\\orvbench\\tools\\agent_watch.exe" --log "$(winpath "$work/$who-$round.log")" --timeout 240 \
      -- "C:\\orvbench\\$folder\\Orvastell.exe" >/dev/null 2>&1 || true
    cp "$trace" "$work/$who-$round.trace" 2>/dev/null || true
    cmp -s "$work/body" "$bench/$folder/runtime/ACCESSRT.CAB" && echo "saved ok" >>"$work/$who-$round.log" \
      || echo "saved BAD" >>"$work/$who-$round.log"
  done
  rm -f "$bench/mini.cab" "$bench/mini.trace"
  wine "C:\\orvbench\\tools\\agent_watch.exe" --log "$(winpath "$work/mini-$round.log")" --timeout 240 \
    -- "C:\\orvbench\\tools\\mini_download.exe" "$url" "C:\\orvbench\\mini.cab" "C:/orvbench/mini.trace" \
    >"$work/mini-$round.out" 2>&1 || true
  cp "$bench/mini.trace" "$work/mini-$round.trace" 2>/dev/null || true
  cmp -s "$work/body" "$bench/mini.cab" && echo "saved ok" >>"$work/mini-$round.log" || echo "saved BAD" >>"$work/mini-$round.log"
done
python3 bench/report.py "${bits}-bit" download "$work" "$rounds" "$body_size" "${agents[@]}" >>"$results"
grep -v "^#" "$results" | tail -n 1

# ------------------------------------------------------------------ copy
echo "[${bits}-bit] copy: 200 MB, orv::CopyFile against CopyFileA and a flush..."
head -c $((200 * 1024 * 1024)) /dev/urandom >"$bench/copy/source.bin"
wine "C:\\orvbench\\tools\\copy_bench.exe" "C:\\orvbench\\copy\\source.bin" "C:\\orvbench\\copy" 3 >"$work/copy.out" 2>&1 || true
rm -f "$bench/copy/source.bin"
python3 bench/report.py "${bits}-bit" copy "$work" >>"$results"
grep -v "^#" "$results" | tail -n 1

# ------------------------------------------------------------------ start-up
echo "[${bits}-bit] startup: Orvastell.exe in the \"ok\" case against shell_open.exe..."
registry "Access.Database.11"
for who in "${agents[@]}"; do
  crlf "[UpdateFrontend]" "UpdateLocation=C:\\orvbench\\update\\update.ini" "FileRevision=6" \
    >"$bench/$(folder_of "$who")/config/config.ini"
done
crlf "[UpdateFrontend]" "FileRevision=6" "FileLocation=C:\\orvbench\\update\\ORV.mde" >"$bench/update/update.ini"
printf 'front-end revision 6' >"$app/ORV.mde"
cp "$app/ORV.mde" "$bench/update/ORV.mde"
rm -f "$bench/tools/opened.log" "$trace" "$bench/shell.trace"
startup_rounds=9
programs=()
for who in "${agents[@]}"; do programs+=(-- "C:\\orvbench\\$(folder_of "$who")\\Orvastell.exe"); done
wine "C:\\orvbench\\tools\\run_timed.exe" "$startup_rounds" "${programs[@]}" \
  -- "C:\\orvbench\\tools\\shell_open.exe" "C:/orvbench/shell.trace" "C:\\orvbench\\app\\ORV.mde" \
  >"$work/startup.out" 2>&1 || true
sleep 1  # the last recorder may still be writing
tr -d '\r' <"$bench/tools/opened.log" >"$work/opened.log" 2>/dev/null || true
cat "$trace" "$bench/shell.trace" >"$work/startup.trace" 2>/dev/null || true
python3 bench/report.py "${bits}-bit" startup "$work" "$startup_rounds" "${agents[@]}" >>"$results"
grep -v "^#" "$results" | tail -n 1

echo
echo "== Benchmarks of the ${bits}-bit build ($(nproc) cores, $(wine --version), $(. /etc/os-release && echo "$PRETTY_NAME")," \
  "$rounds download rounds, load average $load_start at the start and $(cut -d' ' -f1 /proc/loadavg) at the end)"
cat "$results"
