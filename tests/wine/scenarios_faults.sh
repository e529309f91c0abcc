# shellcheck shell=bash disable=SC2034,SC2154
# Real faults on a real file system, one row each: the fault, the road it strikes, and what must
# hold after it, checked on the bytes of every file that must be kept.
#
#   row                      fault                                    road      must hold afterwards
#   fault_disk_full_copy     disk full before the new front-end fits  update    old ORV.mde, config.ini; box; launch
#   fault_disk_full_record   disk full when config.ini is rewritten   update    new ORV.mde; config.ini old or new
#   fault_disk_full_cabinet  disk full while the cabinet is saved     download  old cabinet; no installer; box, exit 1
#   fault_killed_copy        SIGKILL in the middle of the copy        update    old ORV.mde; next run updates
#   fault_killed_cabinet     SIGKILL in the middle of the save        download  no cabinet; next run downloads
#   fault_read_only_folder   the agent's folder mounted read-only     update    everything; box naming the file
#   fault_share_cut_short    the new front-end cut short mid-copy     update    old ORV.mde, config.ini; box
#   fault_config_read_only   config.ini read-only                     update    new ORV.mde; config.ini; box
#
# A full or read-only disk is a tmpfs of its own mounted over the application folder, which needs
# root (the test command runs as root, as CI does); elsewhere those rows say that they were
# skipped. The kills and the shrinking share need no mount.

# ------------------------------------------------------------------ staging

fault_mounts=()
held=()
# app_on_tmpfs: the application folder, as new_scenario made it, moved onto a tmpfs of its own.
# False, after a line that says so, where this shell cannot mount.
app_on_tmpfs() {
  if ((EUID != 0)); then
    echo "scenario: $scenario skipped: mounting a tmpfs needs root"
    return 1
  fi
  mv "$app" "$app.staged"
  mkdir "$app"
  if ! mount -t tmpfs -o size=64m,mode=755 tmpfs "$app"; then
    fail "could not mount a tmpfs at $app"
    return 1
  fi
  fault_mounts+=("$app")
  cp -a "$app.staged/." "$app/"
  rm -rf "$app.staged"
}
# leave_free BYTES: the tmpfs of the application folder shrunk to what it holds and BYTES more.
leave_free() {
  local used
  used="$(stat -f -c '%S * (%b - %f)' "$app")"
  mount -o "remount,size=$((used + $1))" "$app" || fail "could not shrink the tmpfs at $app"
}
pages() { echo $((($1 + 4095) / 4096 * 4096)); }
# hold FILE...: each file held open by this shell, as a backup program would hold it. On a tmpfs a
# replaced file that is held keeps its pages, so the disk is as full after the agent has replaced
# the file as it was while the agent wrote the new one.
hold() {
  local file fd
  for file; do
    exec {fd}<"$file"
    held+=("$fd")
  done
}
# unmount_faults: every file held let go and every mount of the table gone; also run when the
# tests end early (run_all.sh's exit trap), so no mount outlives them.
unmount_faults() {
  local fd m
  for fd in "${held[@]}"; do exec {fd}<&-; done
  held=()
  for m in "${fault_mounts[@]}"; do
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || echo "  could not unmount $m" >&2
  done
  fault_mounts=()
}

# at_growth WHEN GLOB ACTION...: in the background, once the UI driver's log of this scenario's
# run has a line with WHEN in it, holds the agent's Wine process still every millisecond to look
# at the files that GLOB matches; as soon as one holds data (a temporary file that the agent is
# writing), ACTION: "kill" (SIGKILL to that process) or "truncate FILE BYTES" (FILE cut short under
# the agent, which then goes on). Holding it still is what makes "in the middle" certain on a
# busy machine: between two looks the agent runs for about a millisecond, far too short to finish
# writing. (Not from the agent's start: held still that often, Wine takes many times as long to
# start a program.) growth_done reports.
at_growth() {
  rm -f "$dir/growth" "$dir/ui.log"
  python3 - "$app_win\\Orvastell.exe" "$dir/ui.log" "$1" "$2" "$dir/growth" "${@:3}" <<'PY' &
import glob, os, signal, sys, time
exe, log, when, pattern, report, action = sys.argv[1].lower(), *sys.argv[2:6], sys.argv[6:]
deadline = time.monotonic() + 90

def seen():
    try:
        with open(log, encoding="latin-1") as f:
            return when in f.read()
    except OSError:
        return False

def agent():
    # The agent's own Wine process: its command line starts with its Windows path (the UI
    # driver's names it too, further on).
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                first = f.read().split(b"\0")[0].decode("latin-1").strip('"').lower()
        except OSError:
            continue
        if first == exe:
            return int(pid)
    return None

pid = None
while pid is None and time.monotonic() < deadline:
    if seen():
        pid = agent()
    time.sleep(0.005)
try:  # as root the watcher comes first whenever it wakes, however busy the machine is
    os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(1))
except OSError:
    pass
done = False
try:
    while pid and not done and time.monotonic() < deadline:
        os.kill(pid, signal.SIGSTOP)
        for path in glob.glob(pattern):
            try:
                size = os.path.getsize(path)
            except OSError:
                continue
            if size == 0:
                continue
            if action[0] == "kill":
                os.kill(pid, signal.SIGKILL)
            else:
                os.truncate(action[1], int(action[2]))
            with open(report, "w") as f:
                f.write(f"{size}\n")
            done = True
            break
        os.kill(pid, signal.SIGCONT)
        time.sleep(0.001)
except ProcessLookupError:
    pass  # the agent ended before anything grew
finally:
    if pid:  # never left held still, whatever happened here
        try:
            os.kill(pid, signal.SIGCONT)
        except ProcessLookupError:
            pass
PY
  growth_pid=$!
}
# growth_done: waits for at_growth; prints the size the file had when it acted (nothing if never).
growth_done() {
  wait "$growth_pid" 2>/dev/null || true
  if [[ -s "$dir/growth" ]]; then cat "$dir/growth"; fi
}
# killed_leaving GLOB FULL-SIZE: the agent was killed while it wrote the one file that GLOB
# matches, which is left shorter than FULL-SIZE; that file, made an hour old, is in $leftover.
killed_leaving() {
  local at files
  at="$(growth_done)"
  # shellcheck disable=SC2206
  files=($1)
  leftover="${files[0]}"
  if [[ -z "$at" || ${#files[@]} != 1 || ! -f "$leftover" ]]; then
    fail "the agent was not killed while it wrote $1 (at ${at:-no time}; ${#files[@]} files)"
    leftover=""
    return
  fi
  local size
  size="$(stat -c %s "$leftover")"
  ((size > 0 && size < $2)) || fail "what the killed run left holds $size of $2 bytes: it was not killed in the middle"
  touch -d '1 hour ago' "$leftover"
}
# planted_lookalike DIR NAME: a file of someone else's with a name like the agent's own, an hour
# old, that no run may touch.
planted_lookalike() {
  printf 'not the agent'"'"'s' >"$1/$2"
  touch -d '1 hour ago' "$1/$2"
}

copy_failed() { whoops "The file was not copied successfully.\\r\\n\\r\\n$1: $2"; }
not_recorded() {
  local config="$app_win\\config\\config.ini"
  whoops "The front-end was updated, but its new revision could not be recorded in $config.\\r\\n\\r\\n$1"
}
# update_kept: nothing of the update went through: the old front-end and config.ini keep every
# byte, no temporary file is left, and the old front-end opens.
update_kept() {
  unchanged "$app/ORV.mde"
  unchanged "$app/config/config.ini"
  expect_only "$app" Orvastell.exe ORV.mde config
  expect_only "$app/config" config.ini
  expect_opened "$app_win\\ORV.mde"
}
# big_front_end MB: a new front-end of that many MB of random bytes on the share.
big_front_end() {
  head -c $(($1 << 20)) /dev/urandom >"$share/ORV.mde"
}

# ------------------------------------------------------------------ the table

# Disk full before the new front-end fits: one box says so and names the file; nothing changes.
scenario_fault_disk_full_copy() {
  new_scenario fault-disk-full-copy
  app_on_tmpfs || return 0
  update_files 6 7
  leave_free 16384
  run_agent 30
  expect_exit 0
  copy_failed "Disk full" "$app_win\\ORV.mde"
  expect_boxes 1
  update_kept
  unmount_faults
}

# Disk full after the copy, when config.ini is rewritten: the new front-end is in place, and
# config.ini is the old text (with a box) or the new one, never part of it. First with no room
# left at all once the copy is in; then with room for one rewrite only, which takes the time and
# the revision together.
scenario_fault_disk_full_record() {
  local room
  for room in 0 4096; do
    new_scenario "fault-disk-full-record-$room"
    app_on_tmpfs || return 0
    update_files 6 7
    hold "$app/ORV.mde" "$app/config/config.ini"
    leave_free $(($(pages "$(stat -c %s "$share/ORV.mde")") + room))
    run_agent 30
    expect_exit 0
    expect_bytes "$app/ORV.mde" "$share/ORV.mde"
    if ((room == 0)); then
      not_recorded "Disk full"
      expect_boxes 1
      unchanged "$app/config/config.ini"
    else
      expect_boxes 0
      updated "$config_text" 6 7
    fi
    expect_only "$app" Orvastell.exe ORV.mde config
    expect_only "$app/config" config.ini
    expect_opened "$app_win\\ORV.mde"
    unmount_faults
  done
}

# Disk full while the downloaded cabinet is saved: the cabinet of an earlier download keeps every
# byte, no temporary file is left, the installer is not started, and the error box ends the run
# with exit code 1.
scenario_fault_disk_full_cabinet() {
  download_setup fault-disk-full-cabinet normal $((2 << 20))
  app_on_tmpfs || return 0
  head -c 100000 /dev/urandom >"$app/runtime/ACCESSRT.CAB"
  snapshot "$app/runtime/ACCESSRT.CAB"
  leave_free $((1 << 20))
  download_run 60
  expect_exit 1
  expect_box "Orvastell" "Run-time error '61':\\r\\n\\r\\nDisk full" "[OK]"
  expect_boxes 2
  unchanged "$app/runtime/ACCESSRT.CAB"
  expect_only "$app/runtime" ACCESSRT.MSI ACCESSRT.CAB
  expect_opened
  unmount_faults
}

# Killed in the middle of the front-end copy: the old front-end and config.ini keep every byte.
# The next run (once the leftover is old) removes what the killed run left, leaves a look-alike
# that is not its own, and updates and launches.
scenario_fault_killed_copy() {
  new_scenario fault-killed-copy
  update_files 6 7
  big_front_end 16
  at_growth "SHOW OrvastellUpdateForm|" "$app/ORV.mde.*.orvtmp" kill
  run_agent 60
  killed_leaving "$app/ORV.mde.*.orvtmp" $((16 << 20))
  unchanged "$app/ORV.mde"
  unchanged "$app/config/config.ini"
  expect_opened

  planted_lookalike "$app" ORV.mde.1234-notmine.orvtmp
  new_scenario fault-killed-copy --keep
  run_agent 60
  expect_exit 0
  expect_boxes 0
  updated "$config_text" 6 7
  expect_only "$app" Orvastell.exe ORV.mde config ORV.mde.1234-notmine.orvtmp
  expect_opened "$app_win\\ORV.mde"
}

# Killed in the middle of saving the cabinet: no cabinet under its real name. The next run removes
# what the killed run left and downloads again.
scenario_fault_killed_cabinet() {
  download_setup fault-killed-cabinet normal "$runtime_size"
  at_growth "|Downloading file:" "$app/runtime/ACCESSRT.CAB.*.orvtmp" kill
  download_run 60
  killed_leaving "$app/runtime/ACCESSRT.CAB.*.orvtmp" "$runtime_size"
  expect_absent "$app/runtime/ACCESSRT.CAB"
  expect_opened

  new_scenario fault-killed-cabinet --no-access --keep
  echo "normal 3001" >"$work/mode"
  served_size=3001
  download_run 60
  expect_exit 0
  expect_boxes 1
  saved_as_served
  expect_only "$app/runtime" ACCESSRT.MSI ACCESSRT.CAB
  expect_opened "$app_win\\runtime\\ACCESSRT.MSI"
}

# The agent's folder on a drive mounted read-only: one box names the file, nothing changes, and
# the front-end opens. (Read-only files in a writable folder: update_copy_fails_then_retry.)
scenario_fault_read_only_folder() {
  new_scenario fault-read-only-folder
  app_on_tmpfs || return 0
  update_files 6 7
  mount -o remount,ro "$app" || fail "could not make $app read-only"
  run_agent 30
  expect_exit 0
  copy_failed "Permission denied" "$app_win\\ORV.mde"
  expect_boxes 1
  update_kept
  unmount_faults
}

# The new front-end on the share cut short once the copy has begun (a file deleted, or a share
# unmounted, under an open handle stays readable on Linux; a file cut short does not): one box
# names it, nothing changes, the revision is not recorded, and the old front-end opens.
scenario_fault_share_cut_short() {
  new_scenario fault-share-cut-short
  update_files 6 7
  big_front_end 16
  at_growth "SHOW OrvastellUpdateForm|" "$app/ORV.mde.*.orvtmp" truncate "$share/ORV.mde" $((8 << 20))
  run_agent 60
  [[ -n "$(growth_done)" ]] || fail "the new front-end was not cut short during the copy"
  expect_exit 0
  copy_failed "Input past end of file" "$share_win\\ORV.mde"
  expect_boxes 1
  update_kept
}

# A read-only config.ini: the new front-end is copied, its revision cannot be recorded; one box
# says so, config.ini keeps every byte, no temporary file is left, and the front-end still opens.
scenario_fault_config_read_only() {
  new_scenario fault-config-read-only
  update_files 6 7
  chmod a-w "$app/config/config.ini"
  run_agent 30
  expect_exit 0
  expect_line "$update_form_line"
  not_recorded "Permission denied"
  expect_boxes 1
  unchanged "$app/config/config.ini"
  expect_only "$app/config" config.ini
  expect_bytes "$app/ORV.mde" "$share/ORV.mde"
  expect_opened "$app_win\\ORV.mde"
}

scenarios+=(fault_disk_full_copy fault_disk_full_record fault_disk_full_cabinet fault_killed_copy fault_killed_cabinet
  fault_read_only_folder fault_share_cut_short fault_config_read_only)
