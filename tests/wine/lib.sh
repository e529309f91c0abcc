# shellcheck shell=bash disable=SC2034,SC2154
# Helpers of the end-to-end scenarios; sourced by run_all.sh, which sets up the prefix, the
# server ($port, $dead_port), $work, $base (C:\orvtest), $shots and $agent_exe.
#
# A scenario is a function scenario_<name>, listed in $scenarios in the order it runs. It calls
# new_scenario, prepares files, calls run_agent with the driver's rules, and checks what
# happened with the expect_* helpers. The driver's log lines carry texts with \r and \n written
# out, so the expected texts below spell the line breaks the same way.

failures=0
scenario=""
scenarios=()

fail() {
  echo "  FAIL [$scenario] $*"
  failures=$((failures + 1))
}
crlf() { printf '%s\r\n' "$@"; }
winpath() { echo "Z:${1//\//\\}"; }

# new_scenario NAME [--access CURVER | --no-access] [--install VALUE | --no-install]
#              [--proxy PORT] [--no-control] [--keep] [--agent EXE]
# A fresh application folder C:\orvtest\NAME\app holding the agent and an empty config folder, a
# folder C:\orvtest\NAME\share for update files, the registry values of the run, empty records
# of what was opened, registered and requested, and the transfer control in the system folder
# (unless --no-control). --keep reuses the application folder of the previous run of NAME and
# leaves the system folder as that run left it. --agent puts another build of the agent (one of
# those that the tests build beside it) in the application folder, as Orvastell.exe.
# Sets: scenario, dir (its work folder), app and app_win, share and share_win.
new_scenario() {
  scenario="$1"
  shift
  local access="Access.Database.11" install="" proxy="$port" control=1 keep=0 agent="$agent_exe"
  local has_access=1 has_install=1 install_set=0
  while (($#)); do
    case "$1" in
      --access) access="$2"; shift ;;
      --no-access) has_access=0 ;;
      --install) install="$2"; install_set=1; shift ;;
      --no-install) has_install=0 ;;
      --proxy) proxy="$2"; shift ;;
      --no-control) control=0 ;;
      --keep) keep=1 ;;
      --agent) agent="$2"; shift ;;
      *) echo "new_scenario: unknown option $1" >&2; exit 2 ;;
    esac
    shift
  done
  echo "scenario: $scenario"
  dir="$work/$scenario"
  app="$base/$scenario/app"
  app_win="C:\\orvtest\\$scenario\\app"
  share="$base/$scenario/share"
  share_win="C:\\orvtest\\$scenario\\share"
  if ((!keep)); then
    rm -rf "${base:?}/$scenario" "$dir"
    mkdir -p "$app/config" "$share"
    cp "$agent" "$app/Orvastell.exe"
  fi
  mkdir -p "$dir"
  ((install_set)) || install="$app_win"
  rm -f "$base/tools/opened.log" "$base/tools/registered.log" "$base/tools/planted.log"
  if ((!keep)); then rm -f "$syswow64/MSINET.OCX" "$syswow64/MSINET.oca"; fi
  if ((control && !keep)); then
    printf 'transfer control in place' >"$syswow64/MSINET.OCX"
    printf 'its companion in place' >"$syswow64/MSINET.oca"
  fi
  {
    echo "REGEDIT4"
    echo
    echo "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]"
    echo "\"ProxyServer\"=\"127.0.0.1:$proxy\""
    echo
    echo "[-HKEY_CLASSES_ROOT\\Access.Database]"
    echo
    if ((has_access)); then
      echo "[HKEY_CLASSES_ROOT\\Access.Database\\CurVer]"
      echo "@=\"$access\""
      echo
    fi
  } >"$dir/shared.reg"
  # The product's 32-bit installer writes the install folder into the 32-bit view of
  # HKEY_LOCAL_MACHINE: on a 64-bit Windows it is kept under Wow6432Node (what "reg add /reg:32"
  # writes), and the 64-bit view holds a decoy that only a program reading the wrong view would
  # find; a 32-bit Windows has the one view. Written with the prefix's own regedit, which names
  # the keys as they are stored.
  {
    cat "$dir/shared.reg"
    echo "[-HKEY_LOCAL_MACHINE\\Software\\Quenlark]"
    if [[ "$WINEARCH" == win32 ]]; then
      echo
      if ((has_install)); then
        echo "[HKEY_LOCAL_MACHINE\\Software\\Quenlark\\Orvastell]"
        echo "@=\"${install//\\/\\\\}\""
      fi
    else
      echo "[-HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Quenlark]"
      echo
      echo "[HKEY_LOCAL_MACHINE\\Software\\Quenlark\\Orvastell]"
      echo "@=\"C:\\\\orvtest\\\\decoy\""
      echo
      if ((has_install)); then
        echo "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Quenlark\\Orvastell]"
        echo "@=\"${install//\\/\\\\}\""
      fi
    fi
  } >"$dir/scenario.reg"
  orv_regedit "$dir/scenario.reg" "$dir/shared.reg"
  : >"$work/requests.log"
}

# run_agent TIMEOUT [--full-token] [--on TITLE TEXT ACTIONS]...: runs the agent under the UI
# driver, as a standard user runs it (with the limited token; --full-token: as an administrator
# who said yes to the elevation prompt), and waits until it and the programs it started have ended. Boxes that no rule of the scenario answers
# get the answer that ends the run soonest, so a scenario that goes wrong fails its checks instead of hanging.
# Sets exit_code and started_at/ended_at (seconds).
run_agent() {
  local timeout="$1"
  shift
  exit_code=0
  started_at=$SECONDS
  # From the scenario's folder (the application folder's parent): that is the agent's current
  # folder.
  (cd "$base/$scenario" && wine "C:\\orvtest\\tools\\uidriver.exe" --log "$(winpath "$dir/ui.log")" \
    --timeout "$timeout" --shotdir "$(winpath "$shots")" "$@" \
    --on "Whoops!" "*" "every,press:OK" \
    --on "Orvastell" "*" "every,press:OK" \
    --on "Can not continue" "*" "every,press:OK" \
    --on "Download MS Access 2003 Runtime?" "*" "every,press:No" \
    -- "$app_win\\Orvastell.exe" </dev/null >"$dir/driver.out" 2>&1) || exit_code=$?
  ended_at=$SECONDS
  if [[ ! -f "$dir/ui.log" ]]; then
    # The driver never ran (or died before its log): the scenario fails on what it did not see,
    # and the suite goes on.
    fail "the UI driver wrote no log (status $exit_code): $(tr '\r\n' '  ' <"$dir/driver.out" | head -c 2000)"
    : >"$dir/ui.log"
  fi
  sed 's/^/    /' "$dir/ui.log"
}

# line_of TEXT: the number of the first log line that begins with TEXT (0 when none).
line_of() { P="$1" awk 'index($0, ENVIRON["P"]) == 1 { print NR; found = 1; exit } END { if (!found) print 0 }' "$dir/ui.log"; }

expect_exit() { [[ "$exit_code" == "$1" ]] || fail "exit code $exit_code, expected $1"; }
# expect_line LINE: the driver's log has exactly this line.
expect_line() { grep -qxF -- "$1" "$dir/ui.log" || fail "driver log lacks the line: $1"; }
expect_log() { grep -qF -- "$1" "$dir/ui.log" || fail "driver log lacks: $1"; }
refuse_log() { if grep -qF -- "$1" "$dir/ui.log"; then fail "driver log has: $1"; fi; }
# expect_count N PREFIX: exactly N log lines begin with PREFIX.
expect_count() {
  local n
  n="$(P="$2" awk 'index($0, ENVIRON["P"]) == 1 { n++ } END { print n + 0 }' "$dir/ui.log")"
  [[ "$n" == "$1" ]] || fail "$n log lines begin with [$2], expected $1"
}
# expect_box TITLE TEXT BUTTONS: the box appeared with exactly this title, text and buttons; and
# it is the only box of the run with that title.
expect_box() {
  expect_line "SHOW #32770|$1|$2|$3"
  expect_count 1 "SHOW #32770|$1|"
}
expect_boxes() { expect_count "$1" "SHOW #32770|"; }

whoops() { expect_box "Whoops!" "A problem has occured:\\r\\n$1" "[OK]"; }
launch_failed_text() {
  printf '%s' 'The program file for Orvastell can not be found. Please check that it has not been recently deleted or has not been installed correctly.\r\n\r\nIf this problem persists, please reinstall Orvastell.'
}
question_text() {  # question_text FIRST-SENTENCE
  printf '%s' "$1"'\r\n\r\nDo you wish to download and install the free Microsoft Access 2003 Runtime onto your computer?\r\n\r\nPlease note, depending on the speed of your Internet connection, this may take a few minutes.'
}
no_access_sentence="It appears you do not have Microsoft Access 2003 installed on your computer."
too_old_sentence="Unfortunately, the version of Microsoft Access installed on your computer is too old."
refusal_text='Sorry, Orvastell can not operate without Microsoft Access 2003 (or the Microsoft Access 2003 Runtime), and will now close.'

# dissociate EXT / associate EXT: files of type EXT have no program at all / are opened by the
# recorder again, as the prefix has them. In HKEY_CLASSES_ROOT of the 64-bit view, where the
# shell of the tests' 64-bit agent looks.
dissociate() { wine reg delete "HKCR\\$1" /f /reg:64 </dev/null >/dev/null 2>&1 || true; }
associate() {
  wine reg add "HKCR\\$1" /ve /d OrvTest.Recorder /f /reg:64 </dev/null >/dev/null \
    || fail "the association of $1 could not be restored"
}
# The system's message for a file of a type that no program is associated with (error 1155, as
# Wine words it).
no_association_text='No associated application.'
# shell_refused PATH: the one "Whoops!" box of a file that the shell would not open.
shell_refused() { whoops "The file $1 could not be opened.\\r\\n\\r\\n$no_association_text"; }

# recorded LOG: the lines of opened.log or registered.log, without their CR.
recorded() { if [[ -f "$base/tools/$1" ]]; then tr -d '\r' <"$base/tools/$1"; fi; }
# expect_opened [PATH]...: the shell was asked to open exactly these files, in this order.
expect_opened() {
  local want got
  want="$(printf '%s\n' "$@")"
  got="$(recorded opened.log)"
  [[ "$got" == "${want%$'\n'}" ]] || fail "opened [${got//$'\n'/, }], expected [${want//$'\n'/, }]"
}
# expect_registered [COMMAND-LINE]...: regsvr32 was started exactly with these command lines.
expect_registered() {
  local want got
  want="$(printf '%s\n' "$@")"
  got="$(recorded registered.log)"
  [[ "$got" == "${want%$'\n'}" ]] || fail "registered [${got//$'\n'/, }], expected [${want//$'\n'/, }]"
}
expect_requests() {  # expect_requests N
  local n
  n="$(grep -c . "$work/requests.log" || true)"
  [[ "$n" == "$1" ]] || fail "$n requests reached the server, expected $1: $(tr '\n' ' ' <"$work/requests.log")"
}
# expect_bytes FILE EXPECTED-FILE: byte for byte the same.
expect_bytes() { cmp -s "$1" "$2" || fail "${1#"$base"/} differs from ${2#"$base"/}"; }
# expect_text FILE TEXT: the file holds exactly TEXT (bytes; write CR LF as $'\r\n').
expect_text() {
  if [[ ! -f "$1" ]]; then fail "${1#"$base"/} is missing"; return; fi
  cmp -s "$1" <(printf '%s' "$2") || fail "${1#"$base"/} holds [$(od -An -c "$1" | tr -s ' \n' ' ')], expected [$(printf '%s' "$2" | od -An -c | tr -s ' \n' ' ')]"
}
expect_absent() { [[ ! -e "$1" ]] || fail "${1#"$base"/} exists"; }
# expect_only DIR NAME...: the folder holds exactly these entries (no temporary files left).
expect_only() {
  local d="$1" got want
  shift
  got="$(ls -A "$d" | sort | tr '\n' ' ')"
  want="$(printf '%s\n' "$@" | sort | tr '\n' ' ')"
  [[ "$got" == "$want" ]] || fail "${d#"$base"/} holds [$got], expected [$want]"
}
snapshot() { cp -p "$1" "$dir/$(basename "$1").before"; }
unchanged() { cmp -s "$1" "$dir/$(basename "$1").before" || fail "${1#"$base"/} was changed"; }
