# shellcheck shell=bash disable=SC2034,SC2154
# The download of the runtime after Yes: the window, its texts, the saved cabinet, the installer,
# and every way the transfer can fail or be stopped.

runtime_size=$((34148 * 1024))
download_caption="File download - Microsoft Access 2003 Runtime"
# The address the agent asked the proxy for (set by download_run).
runtime_url=""

# download_setup NAME MODE [SIZE] [no-msi] [new_scenario-OPTIONS...]: no Access, the runtime
# folder with the installer package (unless no-msi), the server answering in MODE.
download_setup() {
  local name="$1" mode="$2" size="${3:-3001}" msi=1
  shift 3 || shift $#
  if [[ "${1:-}" == no-msi ]]; then msi=0; shift; elif (($#)) && [[ -z "$1" ]]; then shift; fi
  new_scenario "$name" --no-access "$@"
  printf 'front-end' >"$app/ORV.mde"
  mkdir -p "$app/runtime"
  ((msi)) && printf 'installer package' >"$app/runtime/ACCESSRT.MSI"
  echo "$mode $size" >"$work/mode"
  served_size="$size"
}

# download_run TIMEOUT RULES...: the question answered Yes, then the scenario's rules.
# The server answers the download only once the driver has seen the window with its caption (the
# agent sets it before it sends the request), so that even a download over in a few milliseconds
# cannot come and go unseen on a busy machine; a window never shown with it delays the answer by
# 30 s at most, and its scenario fails on what it did not see.
download_run() {
  local timeout="$1" gate
  shift
  : >"$work/hold"
  rm -f "$dir/ui.log"
  (
    for _ in $(seq 1200); do
      grep -qE "^(SHOW|CHANGE) OrvastellDownloadForm\|$download_caption\|" "$dir/ui.log" 2>/dev/null && break
      sleep 0.025
    done
    rm -f "$work/hold"
  ) &
  gate=$!
  run_agent "$timeout" --on "Download MS Access 2003 Runtime?" "*" "press:Yes" "$@"
  kill "$gate" 2>/dev/null || true
  wait "$gate" 2>/dev/null || true
  rm -f "$work/hold"
  # The proxy is asked with the port written out; the window shows the address as the agent has it.
  runtime_url="$(sed -n 's|^GET \(http://[^ /]*\)/downloads/runtime/ACCESSRT.CAB$|\1/downloads/runtime/ACCESSRT.CAB|p' \
    "$work/requests.log" | sed 's|:80/|/|' | head -n 1)"
  [[ -n "$runtime_url" ]] || runtime_url="http://downloads.quenlark.com/downloads/runtime/ACCESSRT.CAB"
}

# The window came and went, showing the caption and the address it fetched.
window_came_and_went() {
  expect_log "|$download_caption|Downloading file:\\r\\n$runtime_url / "
  expect_line "GONE OrvastellDownloadForm|$download_caption"
}
saved_as_served() {
  python3 - "$app/runtime/ACCESSRT.CAB" "$served_size" <<'PY' || fail "ACCESSRT.CAB is not the served body"
import sys
sys.path.insert(0, "tests/wine")
from http_server import body_bytes
with open(sys.argv[1], "rb") as f:
    sys.exit(0 if f.read() == body_bytes(int(sys.argv[2])) else 1)
PY
}
# Nothing saved, nothing installed, the front-end not opened.
nothing_downloaded() {
  expect_only "$app/runtime" ACCESSRT.MSI
  expect_opened
  expect_registered
}

# read-out rules: the read-out of a body from a local server is over within the timer's first
# second, so the UI driver holds the agent still once the bar has moved (the read-out has begun)
# for longer than a tick, and lets it go on until the window changes: the tick that was due comes
# at the agent's next look at its queue, in the middle of the read-out, and the driver holds it
# still again to look at the window once the tick has written its time left (the last of its
# texts); and once more when the read-out is over.
readout_shown=(holdatbar sleep:1100 "thawuntil:*Time left: *sec*" look shot:download-window "thawuntil:Download complete.*" look thaw)

# The whole runtime: the read-out shows amount, rate and time left; the cabinet is saved beside
# the package, the window closes and the package is opened; the front-end is not.
scenario_download_complete() {
  download_setup download-complete normal "$runtime_size"
  download_run 120 --on "$download_caption" "*Downloading file:*" "$(IFS=,; echo "${readout_shown[*]}")"
  expect_exit 0
  expect_box "Download MS Access 2003 Runtime?" "$(question_text "$no_access_sentence")" "[&Yes][&No]"
  expect_boxes 1
  window_came_and_went
  expect_requests 1
  local duration='(([0-9]+ days?,? )?[0-9]+hrs? )?([0-9]+mins? )?[0-9]+secs? ?'
  grep -qE "^LOOK OrvastellDownloadForm\|[^|]*\|Downloading file:[^|]* / Time left: $duration / [1-9][0-9,]*\.[0-9]{2} KB @ [1-9][0-9,]*\.[0-9]{2} KB/s\|" "$dir/ui.log" \
    || fail "no read-out showing the amount, the rate and the time left"
  expect_log "|Download complete. / "
  saved_as_served
  expect_only "$app/runtime" ACCESSRT.MSI ACCESSRT.CAB
  expect_opened "$app_win\\runtime\\ACCESSRT.MSI"
  expect_registered
}
scenarios+=(download_complete)

# A wininet.dll planted beside the agent and in its current folder is never loaded (the override
# makes Wine search for it as Windows does, in the program's folder first), and the download
# works all the same with the system's.
scenario_download_planted_library() {
  download_setup download-planted-library normal 300001
  cp "$base/tools/planted.dll" "$app/wininet.dll"
  cp "$base/tools/planted.dll" "$base/$scenario/wininet.dll"
  WINEDLLOVERRIDES="${WINEDLLOVERRIDES};wininet=n,b" download_run 60
  expect_exit 0
  expect_boxes 1
  [[ ! -s "$base/tools/planted.log" ]] || fail "the planted library was loaded: $(tr -d '\r' <"$base/tools/planted.log")"
  saved_as_served
  expect_opened "$app_win\\runtime\\ACCESSRT.MSI"
}
scenarios+=(download_planted_library)

# Without the package: the cabinet is saved, the window closes, nothing is opened, and one box
# says why nothing follows the download.
scenario_download_without_package() {
  # Sent in a few pieces, so that the window stays up long enough to be seen.
  download_setup download-without-package slow 40001 no-msi
  download_run 30
  expect_exit 0
  whoops "The Microsoft Access 2003 Runtime was downloaded to $app_win\\runtime\\ACCESSRT.CAB, but its installer package $app_win\\runtime\\ACCESSRT.MSI is missing, so it can not be installed."
  expect_boxes 2
  window_came_and_went
  saved_as_served
  expect_only "$app/runtime" ACCESSRT.CAB
  expect_opened
}
# No program for .msi files: the cabinet is saved, the shell refuses the package, one box says
# which file and why, and the run ends as one that an error ended.
scenario_download_package_no_association() {
  download_setup download-package-no-association normal 40001
  dissociate .msi
  download_run 30
  associate .msi
  expect_exit 1
  shell_refused "$app_win\\runtime\\ACCESSRT.MSI"
  expect_boxes 2
  expect_line "GONE OrvastellDownloadForm|$download_caption"
  saved_as_served
  expect_only "$app/runtime" ACCESSRT.MSI ACCESSRT.CAB
  expect_opened
}
# No runtime folder to save into: the error ends the run from inside the window's handler, with
# its number, and exit code 1 like any run that an error ends.
scenario_download_no_runtime_folder() {
  download_setup download-no-runtime-folder normal 3001
  rm -rf "$app/runtime"
  download_run 30
  expect_exit 1
  expect_box "Orvastell" "Run-time error '76':\\r\\n\\r\\nPath not found" "[OK]"
  expect_boxes 2
  expect_absent "$app/runtime"
  expect_opened
}
scenarios+=(download_without_package download_package_no_association download_no_runtime_folder)

# A slow trickle: while the transfer runs the amount stays at 0; the first tick says
# "Calculating...", the idle ones show no estimate; the file arrives whole all the same.
scenario_download_trickle() {
  download_setup download-trickle slow $((800 * 1024))
  download_run 60
  expect_exit 0
  expect_boxes 1
  window_came_and_went
  expect_log "|Downloading file:\\r\\n$runtime_url / Time left: Calculating... / 0.00 KB @ 0.00 KB/s|"
  expect_log "|Downloading file:\\r\\n$runtime_url /  / 0.00 KB @ 0.00 KB/s|"
  saved_as_served
  expect_opened "$app_win\\runtime\\ACCESSRT.MSI"
}
scenarios+=(download_trickle)

# download_failed NAME MODE REASON [new_scenario-OPTIONS...]: the transfer fails; one "Whoops!"
# box says what failed, the window closes, nothing is saved or installed.
download_failed() {
  local name="$1" mode="$2" reason="$3" shot=""
  shift 3
  [[ "$mode" == 404 ]] && shot="shot:box-error,"
  download_setup "$name" "$mode" 3001 "" "$@"
  download_run 90 --on "Whoops!" "*" "${shot}press:OK"
  expect_exit 0
  whoops "The file could not be downloaded from $runtime_url.\\r\\n\\r\\n$reason"
  expect_boxes 2
  expect_line "GONE OrvastellDownloadForm|$download_caption"
  nothing_downloaded
}
scenario_download_404() { download_failed download-404 404 "The server answered 404 Not Found."; }
scenario_download_500() { download_failed download-500 500 "The server answered 500 Internal Server Error."; }
scenario_download_cut_short() {
  download_failed download-cut-short truncated "The connection to the server closed after 1500 of 3001 bytes."
}
scenario_download_no_server() {
  download_failed download-no-server normal "The server could not be reached. Please check your Internet connection." \
    --proxy "$dead_port"
}
# A server that never stops sending: once more than twice the expected size has come, the
# transfer stops and fails like any other, with nothing saved.
scenario_download_endless() {
  download_failed download-endless endless \
    "The server sent more than $((2 * runtime_size)) bytes, far more than the expected size, so the download was stopped."
}
# The server's reason phrase names a "fix" to install: the box gives the status number with the
# agent's own phrase for it, and not one word of the server's.
scenario_download_503_phrase() {
  download_failed download-503-phrase 503-moved "The server answered 503 Service Unavailable."
  refuse_log "fix.example"
  refuse_log "Service moved"
}
scenarios+=(download_404 download_500 download_cut_short download_no_server download_endless download_503_phrase)

# The download window cannot be made (here: no common controls for its progress bar): one box
# with the error's number, the run ends at once with exit code 1, and no window of the agent is
# left behind to receive messages for a form that no longer exists.
scenario_download_no_window() {
  download_setup download-no-window normal
  WINEDLLOVERRIDES="${WINEDLLOVERRIDES};comctl32=d" download_run 30
  expect_exit 1
  expect_box "Orvastell" "Run-time error '1411':\\r\\n\\r\\nThe window could not be created (CreateWindowEx failed, error 1411)." "[OK]"
  expect_boxes 2
  refuse_log "SHOW OrvastellDownloadForm"
  # Made hidden (and maybe seen so) while its controls were being made, it is gone before the box.
  local box hidden unhidden
  box="$(line_of "SHOW #32770|Orvastell|")" hidden="$(line_of "HIDDEN OrvastellDownloadForm")"
  unhidden="$(line_of "UNHIDDEN OrvastellDownloadForm")"
  ((hidden == 0 || (unhidden > 0 && unhidden < box))) || fail "the download form was left behind when the box came"
  expect_requests 0
  nothing_downloaded
}
scenarios+=(download_no_window)

# download_stopped NAME MODE SIZE WHEN ACTIONS: the user stops the download once the window shows
# WHEN, by the driver's ACTIONS (a click, the close box, or keys typed as a user types them). The
# Cancel button has the keyboard focus, in the foreground window, from the moment the window
# opens; the agent ends within 3 s of the last action, with no box and nothing saved or started.
download_stopped() {
  local name="$1" mode="$2" size="$3" when="$4" actions="$5" ended
  download_setup "$name" "$mode" "$size"
  download_run 60 --on "$download_caption" "$when" "focus,$actions"
  expect_exit 0
  expect_line "FOCUS Button|Cancel|foreground"
  if grep -qE '^NO(KEY|INPUT|BUTTON|BAR|ACTION)' "$dir/ui.log"; then fail "the driver could not do all of: $actions"; fi
  expect_line "GONE OrvastellDownloadForm|$download_caption"
  ended="$(sed -n 's/^ENDED //p' "$dir/ui.log")"
  ((${ended:-99999} < 3000)) || fail "the agent ended ${ended:-never} ms after the last action"
  refuse_log "Download complete."
  expect_boxes 1
  nothing_downloaded
}
# The server accepts and never answers (Connecting). The close box, and Alt+F4 which is the close
# box: the request is dropped and, with no window left, the agent ends. Cancel, clicked or pressed
# with Esc, Enter or Space: the agent ends at once.
stalled=(stall 3001 "Establishing connection*")
scenario_download_stall_close() { download_stopped download-stall-close "${stalled[@]}" "sleep:1500,close"; }
scenario_download_stall_alt_f4() { download_stopped download-stall-alt-f4 "${stalled[@]}" "sleep:1500,key:Alt+F4"; }
scenario_download_stall_cancel() { download_stopped download-stall-cancel "${stalled[@]}" "sleep:1500,press:Cancel"; }
scenario_download_stall_escape() {
  download_stopped download-stall-escape "${stalled[@]}" "shot:download-window-focus,sleep:1500,key:Escape"
}
scenario_download_stall_enter() { download_stopped download-stall-enter "${stalled[@]}" "sleep:1500,key:Return"; }
scenario_download_stall_space() { download_stopped download-stall-space "${stalled[@]}" "sleep:1500,key:Space"; }
# Esc while the body trickles in (Receiving: the window waits in a yield for the transfer's end).
scenario_download_receiving_escape() {
  download_stopped download-receiving-escape slow $((800 * 1024)) "*Downloading file:*" "sleep:1500,key:Escape"
}
# Cancel, clicked or pressed with Esc, while the received file is read out (while the driver holds
# the agent still in the middle of it; the key waits in its queue): nothing is written, the
# installer is not started.
scenario_download_cancel_during_readout() {
  download_stopped download-cancel-readout normal "$runtime_size" "*Downloading file:*" \
    "holdatbar,sleep:200,press:Cancel,thaw"
}
scenario_download_escape_during_readout() {
  download_stopped download-escape-readout normal "$runtime_size" "*Downloading file:*" \
    "holdatbar,sleep:200,key:Escape,thaw"
}
scenarios+=(download_stall_close download_stall_alt_f4 download_stall_cancel download_stall_escape download_stall_enter
  download_stall_space download_receiving_escape download_cancel_during_readout download_escape_during_readout)

# Nobody stops the stalled request: after the agent's 60-second request time-out the user is told
# that the server did not answer, and nothing is saved. (The one scenario that takes a minute.)
scenario_download_time_out() {
  download_setup download-time-out stall
  download_run 150
  expect_exit 0
  whoops "The file could not be downloaded from $runtime_url.\\r\\n\\r\\nThe server did not answer within 60 seconds."
  expect_boxes 2
  expect_line "GONE OrvastellDownloadForm|$download_caption"
  local took=$((ended_at - started_at))
  ((took >= 55 && took < 120)) || fail "the time-out came after $took s"
  nothing_downloaded
}
scenarios+=(download_time_out)

# ------------------------------------------------------------------ integrity of the download
# The builds that the tests make beside the agent: one that names the SHA-256s of a known cabinet
# and a known installer package (written beside them), one that downloads over HTTPS from
# orvastell.test.
agents_dir="$(dirname "$agent_exe")"
known_cabinet="$agents_dir/e2e-cabinet.bin"
known_package="$agents_dir/e2e-package.msi"
https_url="https://orvastell.test/downloads/runtime/ACCESSRT.CAB"

# integrity_setup NAME AGENT MODE-LINE: a download scenario run by another build of the agent,
# with the known installer package in the runtime folder.
integrity_setup() {
  local name="$1" agent="$agents_dir/$2.exe"
  [[ -f "$agent" && -f "$known_cabinet" ]] || fail "no $agent or $known_cabinet: build the mingw preset's tests"
  download_setup "$name" normal 0 "" --agent "$agent"
  cp "$known_package" "$app/runtime/ACCESSRT.MSI"
  echo "$3" >"$work/mode"
}
saved_as_known() {
  expect_bytes "$app/runtime/ACCESSRT.CAB" "$known_cabinet"
  expect_only "$app/runtime" ACCESSRT.MSI ACCESSRT.CAB
  expect_opened "$app_win\\runtime\\ACCESSRT.MSI"
}

# The build names the file's SHA-256: the file that has it is saved and installed; the same file
# with one byte changed on the way is refused, and nothing is saved or installed.
scenario_download_checked() {
  integrity_setup download-checked Orvastell_sha256 "file $known_cabinet"
  download_run 60
  expect_exit 0
  expect_boxes 1
  expect_line "GONE OrvastellDownloadForm|$download_caption"
  saved_as_known
}
scenario_download_checked_mismatch() {
  integrity_setup download-checked-mismatch Orvastell_sha256 "flipped $known_cabinet"
  download_run 60
  expect_exit 0
  whoops "The file could not be downloaded from $runtime_url.\\r\\n\\r\\nThe downloaded file did not match the file expected (its SHA-256 checksum differs), so it was not saved."
  expect_boxes 2
  nothing_downloaded
}
# A package planted beside the cabinet, which the installer would read: the right cabinet is saved,
# one box names the package, nothing is opened, and the run ends as one that an error ended.
scenario_download_checked_planted_package() {
  integrity_setup download-checked-planted-package Orvastell_sha256 "file $known_cabinet"
  printf 'a planted installer package' >"$app/runtime/ACCESSRT.MSI"
  download_run 60
  expect_exit 1
  whoops "The file $app_win\\runtime\\ACCESSRT.MSI is not the one this program was built to install, so nothing was installed."
  expect_boxes 2
  expect_bytes "$app/runtime/ACCESSRT.CAB" "$known_cabinet"
  expect_opened
}
scenarios+=(download_checked download_checked_mismatch download_checked_planted_package)

# Over HTTPS through the proxy: the server's certificate comes from the authority that the prefix
# trusts, and the file is saved; the same server with a certificate from an authority that
# nobody trusts is refused, with the system's checks left on, and nothing is sent or saved.
scenario_download_https() {
  integrity_setup download-https Orvastell_https "file $known_cabinet"
  download_run 60
  expect_exit 0
  expect_boxes 1
  expect_line "GONE OrvastellDownloadForm|$download_caption"
  grep -qxF "CONNECT orvastell.test:443" "$work/requests.log" || fail "no CONNECT to orvastell.test:443 reached the proxy"
  grep -qxF "GET /downloads/runtime/ACCESSRT.CAB" "$work/requests.log" || fail "no GET inside the tunnel"
  saved_as_known
}
scenario_download_https_untrusted() {
  integrity_setup download-https-untrusted Orvastell_https "file $known_cabinet untrusted"
  download_run 60
  expect_exit 0
  whoops "The file could not be downloaded from $https_url.\\r\\n\\r\\nThe server's certificate could not be verified, so the download was refused (error 12045)."
  expect_boxes 2
  if grep -q '^GET' "$work/requests.log"; then fail "a request was sent to the untrusted server"; fi
  nothing_downloaded
}
# https_failed NAME MODE-LINE REASON: the HTTPS build's download fails: one box, nothing saved.
https_failed() {
  integrity_setup "$1" Orvastell_https "$2"
  download_run 60
  expect_exit 0
  whoops "The file could not be downloaded from $https_url.\\r\\n\\r\\n$3"
  expect_boxes 2
  nothing_downloaded
}
insecure_redirect="The download was redirected to an address that is not secure, so it was stopped."
# A secure download that the server sends on to a plain http:// address is stopped, and the plain
# address is never asked for.
scenario_download_https_to_http() {
  https_failed download-https-to-http "redirect-http 3001" "$insecure_redirect"
  if grep -q '^GET http:' "$work/requests.log"; then fail "the plain address was asked for"; fi
}
# https, then a plain hop, then a stranger's https address with a certificate that checks out: the
# chain is refused at the plain hop, and neither it nor the stranger's address is ever asked for.
scenario_download_https_chain() {
  https_failed download-https-chain "redirect-chain 3001" "$insecure_redirect"
  expect_requests 2  # the CONNECT to orvastell.test and the GET inside it
  if grep -qE '^GET http:|attacker' "$work/requests.log"; then
    fail "a later hop was asked for: $(tr '\n' ' ' <"$work/requests.log")"
  fi
}
# A secure redirect (to a relative address on the same secure server) is followed, and the file
# that it names is saved.
scenario_download_https_redirected() {
  integrity_setup download-https-redirected Orvastell_https "redirect-https $known_cabinet"
  download_run 60
  expect_exit 0
  expect_boxes 1
  grep -qxF "GET /mirror/downloads/runtime/ACCESSRT.CAB" "$work/requests.log" || fail "the redirect was not followed"
  saved_as_known
}
# A server that sends the download on for ever: five redirects are followed, the sixth is not.
scenario_download_redirect_loop() {
  https_failed download-redirect-loop "redirect-loop 3001" "The download was redirected too many times, so it was stopped."
  local gets
  gets="$(grep -c '^GET' "$work/requests.log" || true)"
  [[ "$gets" == 6 ]] || fail "$gets requests, expected the first and five redirects"
}
scenarios+=(download_https download_https_untrusted download_https_to_http download_https_chain download_https_redirected
  download_redirect_loop)

# The release program itself (ORV_RELEASE_EXE: the test command builds it with the test server's
# https:// address and the known cabinet's and package's checksums), where this machine runs 32-bit programs:
# the known file is saved and installed; the same file with one byte changed is refused.
scenario_download_release() {
  scenario="download-release"
  if [[ -z "${ORV_RELEASE_EXE:-}" ]]; then
    echo "scenario: $scenario skipped: no release program named (ORV_RELEASE_EXE)"
    return
  fi
  if ! orv_32bit_ready; then
    echo "scenario: $scenario skipped: $ORV_32BIT_REASON"
    return
  fi
  local mode
  for mode in file flipped; do
    download_setup "download-release-$mode" normal 0 "" --agent "$ORV_RELEASE_EXE"
    cp "$known_package" "$app/runtime/ACCESSRT.MSI"
    echo "$mode $known_cabinet" >"$work/mode"
    download_run 60
    expect_exit 0
    if [[ "$mode" == file ]]; then
      expect_boxes 1
      grep -qxF "CONNECT orvastell.test:443" "$work/requests.log" || fail "no CONNECT to orvastell.test:443"
      saved_as_known
    else
      whoops "The file could not be downloaded from $https_url.\\r\\n\\r\\nThe downloaded file did not match the file expected (its SHA-256 checksum differs), so it was not saved."
      expect_boxes 2
      nothing_downloaded
    fi
  done
}
scenarios+=(download_release)
