# shellcheck shell=bash disable=SC2034,SC2154
# Provisioning of the transfer control before anything else is asked.

provision_files() {  # provision_files [control] [companion]: what the updates folder holds
  mkdir -p "$app/updates"
  local part
  for part in "$@"; do
    case "$part" in
      control) head -c 5000 /dev/urandom >"$app/updates/MSINET.OCX" ;;
      companion) printf 'companion of the transfer control' >"$app/updates/MSINET.oca" ;;
    esac
  done
  printf 'front-end' >"$app/ORV.mde"
}
# The 32-bit system folder's regsvr32, by its full path, with the command line unchanged.
registration="$syswow64_win\\regsvr32.exe|regsvr32 /s $syswow64_win\\MSINET.OCX"

# Missing from the 32-bit system folder: the control and its companion are copied there and the
# control is registered once, silently, by that folder's regsvr32 (not the one planted beside the
# agent, nor the one in the current folder); the next start finds it and does nothing.
scenario_provision_copied() {
  new_scenario provision-copied --no-control
  provision_files control companion
  cp "$base/tools/recorder.exe" "$app/regsvr32.exe"
  cp "$base/tools/recorder.exe" "$base/$scenario/regsvr32.exe"
  run_agent 30
  expect_exit 0
  expect_boxes 0
  expect_bytes "$syswow64/MSINET.OCX" "$app/updates/MSINET.OCX"
  expect_bytes "$syswow64/MSINET.oca" "$app/updates/MSINET.oca"
  expect_registered "$registration"
  expect_opened "$app_win\\ORV.mde"

  new_scenario provision-copied --keep
  run_agent 30
  expect_exit 0
  expect_boxes 0
  expect_registered
  expect_opened "$app_win\\ORV.mde"
}
scenarios+=(provision_copied)

# No updates folder: one box from the failed copy, no companion, no registration; the run goes
# on to the launch.
scenario_provision_copy_fails() {
  new_scenario provision-copy-fails --no-control
  printf 'front-end' >"$app/ORV.mde"
  run_agent 30
  expect_exit 0
  whoops "The file was not copied successfully.\\r\\n\\r\\nPath not found: $app_win\\updates\\MSINET.OCX"
  expect_boxes 1
  expect_absent "$syswow64/MSINET.OCX"
  expect_absent "$syswow64/MSINET.oca"
  expect_registered
  expect_opened "$app_win\\ORV.mde"
}
scenarios+=(provision_copy_fails)

# The companion missing: its copy is reported, the control is registered all the same.
scenario_provision_companion_missing() {
  new_scenario provision-companion-missing --no-control
  provision_files control
  run_agent 30
  expect_exit 0
  whoops "The file was not copied successfully.\\r\\n\\r\\nFile not found: $app_win\\updates\\MSINET.oca"
  expect_boxes 1
  expect_bytes "$syswow64/MSINET.OCX" "$app/updates/MSINET.OCX"
  expect_absent "$syswow64/MSINET.oca"
  expect_registered "$registration"
  expect_opened "$app_win\\ORV.mde"
}
scenarios+=(provision_companion_missing)

# Started as an administrator who said yes to the elevation prompt (the full token): the missing
# control is copied and registered, one box says so, and nothing else happens: no update, though
# one is offered, and no question of the runtime, though Access is missing; nothing is opened or
# downloaded.
scenario_provision_elevated() {
  local access
  for access in --access --no-access; do
    if [[ "$access" == --access ]]; then new_scenario provision-elevated --no-control
    else new_scenario provision-elevated-no-access --no-access --no-control; fi
    provision_files control companion
    update_files 1 2
    run_agent 30 --full-token --on "Orvastell" "The Internet Transfer control*" "shot:box-elevated,press:OK"
    expect_exit 0
    expect_box "Orvastell" "The Internet Transfer control is installed. Start Orvastell again without administrator rights to use it." "[OK]"
    expect_boxes 1
    expect_bytes "$syswow64/MSINET.OCX" "$app/updates/MSINET.OCX"
    expect_bytes "$syswow64/MSINET.oca" "$app/updates/MSINET.oca"
    expect_registered "$registration"
    expect_opened
    unchanged "$app/ORV.mde"
    unchanged "$app/config/config.ini"
    expect_requests 0
  done
}
scenarios+=(provision_elevated)

# ------------------------------------------------------------------ the control the build names
# The build that names the SHA-256s of a known control and companion (written beside it).
control_agent="$(dirname "$agent_exe")/Orvastell_control.exe"
known_control="$(dirname "$agent_exe")/e2e-control.ocx"
known_companion="$(dirname "$agent_exe")/e2e-control.oca"

# provision_named NAME [CHANGED-FILE]: the build that names the control runs with the known control
# and companion in its updates folder, one of them (MSINET.OCX or MSINET.oca) with a byte changed.
# As named, both are copied and the control registered; changed, one box names the changed file,
# nothing is copied into the system folder, regsvr32 is never started, and the run goes on.
provision_named() {
  local changed="${2:-}"
  [[ -f "$control_agent" && -f "$known_control" ]] || fail "no $control_agent: build the mingw preset's tests"
  new_scenario "$1" --no-control --agent "$control_agent"
  mkdir -p "$app/updates"
  cp "$known_control" "$app/updates/MSINET.OCX"
  cp "$known_companion" "$app/updates/MSINET.oca"
  printf 'front-end' >"$app/ORV.mde"
  if [[ -n "$changed" ]]; then
    printf 'X' | dd of="$app/updates/$changed" bs=1 seek=10 conv=notrunc status=none
  fi
  run_agent 30
  expect_exit 0
  expect_opened "$app_win\\ORV.mde"
  if [[ -z "$changed" ]]; then
    expect_boxes 0
    expect_bytes "$syswow64/MSINET.OCX" "$known_control"
    expect_bytes "$syswow64/MSINET.oca" "$known_companion"
    expect_registered "$registration"
    return
  fi
  whoops "The file $app_win\\updates\\$changed is not the one this program was built to install, so nothing was installed."
  expect_boxes 1
  expect_absent "$syswow64/MSINET.OCX"
  expect_absent "$syswow64/MSINET.oca"
  if ls "$syswow64" | grep -qi '\.orvtmp$'; then fail "a temporary copy was left in the system folder"; fi
  expect_registered
}
scenario_provision_named() { provision_named provision-named; }
scenario_provision_named_control_changed() { provision_named provision-named-control-changed MSINET.OCX; }
scenario_provision_named_companion_changed() { provision_named provision-named-companion-changed MSINET.oca; }
scenarios+=(provision_named provision_named_control_changed provision_named_companion_changed)
