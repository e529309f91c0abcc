# shellcheck shell=bash disable=SC2034,SC2154
# Real faults on a real file system: a full disk, a killed run, a read-only folder and a share
# that shrinks under the copy. One row each: the fault, the road, and what must hold after it,
# checked on the bytes of what must be kept. A full or read-only disk is a tmpfs of a few MB
# mounted over the application folder (root only: elsewhere those rows say that they were
# skipped); the kills and the shrinking share need no mount.

# ------------------------------------------------------------------ staging

fault_mounts=()
# app_on_tmpfs: the application folder, as new_scenario made it, moved onto a tmpfs of its own.
# False (after a line saying so) where this shell cannot mount.
app_on_tmpfs() {
  if ((EUID != 0)); then
    echo "scenario: $scenario skipped: mounting a tmpfs needs root"
    return 1
  fi
  mv "$app" "$app.staged"
  mkdir "$app"
  mount -t tmpfs -o size=256m,mode=755 tmpfs "$app" || { fail "could not mount a tmpfs at $app"; return 1; }
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
# unmount_faults: every mount of the table gone (also called when the run ends early).
unmount_faults() {
  local m
  for m in "${fault_mounts[@]}"; do
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || echo "  could not unmount $m" >&2
  done
  fault_mounts=()
}
pages() { echo $((($1 + 4095) / 4096 * 4096)); }

# at_growth GLOB ACTION...: in the background, from the moment this scenario's agent runs, holds
# its Wine process still every millisecond to look at the files that GLOB matches; as soon as
# one holds data (a temporary file the agent is writing), ACTION: "kill" (SIGKILL to that
# process) or "truncate FILE BYTES" (FILE cut short under the agent, which then goes on). What it
# did goes to $dir/growth: the action and the size the file had.
at_growth() {
  rm -f "$dir/growth"
  python3 - "$app_win\\Orvastell.exe" "$1" "$dir/growth" "${@:2}" <<'PY' &
import glob, os, signal, sys, time
exe, pattern, report, action = sys.argv[1].lower(), sys.argv[2], sys.argv[3], sys.argv[4:]
deadline = time.monotonic() + 90

def agent():
    # The agent's own Wine process: its command line starts with its Windows path (the driver's
    # names it too, further on).
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                first = f.read().split(b"\0")[0].decode("latin-1").strip('"').lower()
        except OSError:
            continue
        if first == exe:
            return int(pid)
    return None

t0 = time.time()
pid = None
while pid is None and time.monotonic() < deadline:
    pid = agent()
    time.sleep(0.005)
tfound = time.time()
try:  # as root, the watcher comes first whenever it wakes, however busy the machine
    os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(1))
except OSError:
    pass
done = False
while pid and not done and time.monotonic() < deadline:
    try:
        os.kill(pid, signal.SIGSTOP)
    except ProcessLookupError:
        break
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
            f.write(f"{action[0]} {size} {time.time()-t0:.2f} {tfound-t0:.2f}\n")
        done = True
        break
    os.kill(pid, signal.SIGCONT)
    time.sleep(0.001)
PY
  growth_pid=$!
}
# growth_done: waits for at_growth; prints the size the file had when it acted (nothing if never).
growth_done() {
  wait "$growth_pid" 2>/dev/null || true
  [[ -s "$dir/growth" ]] && cut -d' ' -f2 "$dir/growth"
}

# ------------------------------------------------------------------ the table (prototype)

scenario_fault_disk_full_copy() {
  new_scenario fault-disk-full-copy
  app_on_tmpfs || return 0
  update_files 6 7
  leave_free 16384
  run_agent 30
  expect_exit 0
  expect_boxes 1
  unchanged "$app/ORV.mde"
  unchanged "$app/config/config.ini"
  expect_only "$app" Orvastell.exe ORV.mde config
  expect_opened "$app_win\\ORV.mde"
  unmount_faults
}
scenario_fault_read_only_folder() {
  new_scenario fault-read-only-folder
  app_on_tmpfs || return 0
  update_files 6 7
  mount -o remount,ro "$app"
  run_agent 30
  expect_exit 0
  expect_boxes 1
  unchanged "$app/ORV.mde"
  unchanged "$app/config/config.ini"
  expect_opened "$app_win\\ORV.mde"
  unmount_faults
}
scenario_fault_killed_copy() {
  new_scenario fault-killed-copy
  update_files 6 7
  head -c $((64 << 20)) /dev/urandom >"$share/ORV.mde"
  at_growth "$app/ORV.mde.*.orvtmp" kill
  run_agent 30
  growth_done; cat "$dir/growth"; echo "after $((ended_at - started_at)) s"
  ls -la "$app"
  unchanged "$app/ORV.mde"
  unchanged "$app/config/config.ini"
}
scenarios+=(fault_disk_full_copy fault_read_only_folder fault_killed_copy)
