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
road_provision_copied() {
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
roads+=(provision_copied)

# No updates folder: one box from the failed copy, no companion, no registration; the run goes
# on to the launch.
road_provision_copy_fails() {
  new_scenario provision-copy-fails --no-control
  printf 'front-end' >"$app/ORV.mde"
  run_agent 30
  expect_exit 0
  whoops 'The file was not copied successfully.\r\n\r\nPath not found'
  expect_boxes 1
  expect_absent "$syswow64/MSINET.OCX"
  expect_absent "$syswow64/MSINET.oca"
  expect_registered
  expect_opened "$app_win\\ORV.mde"
}
roads+=(provision_copy_fails)

# The companion missing: its copy is reported, the control is registered all the same.
road_provision_companion_missing() {
  new_scenario provision-companion-missing --no-control
  provision_files control
  run_agent 30
  expect_exit 0
  whoops 'The file was not copied successfully.\r\n\r\nFile not found'
  expect_boxes 1
  expect_bytes "$syswow64/MSINET.OCX" "$app/updates/MSINET.OCX"
  expect_absent "$syswow64/MSINET.oca"
  expect_registered "$registration"
  expect_opened "$app_win\\ORV.mde"
}
roads+=(provision_companion_missing)
