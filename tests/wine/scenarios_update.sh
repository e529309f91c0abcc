# shellcheck shell=bash disable=SC2034,SC2154
# The automatic update of the front-end before the launch.

update_form_line="SHOW OrvastellUpdateForm|Automatic Update|Running automatic update. Please wait...|"

# update_files INSTALLED OFFERED: config.ini offering the installed revision, the update
# description offering a revision and the new front-end share\ORV.mde, and the old front-end in
# the application folder. Sets config_text (the bytes of config.ini as written).
update_files() {
  printf -v config_text '[UpdateFrontend]\r\nUpdateLocation=%s\r\nFileRevision=%s\r\n' "$share_win\\update.ini" "$1"
  printf '%s' "$config_text" >"$app/config/config.ini"
  printf '[UpdateFrontend]\r\nFileRevision=%s\r\nFileLocation=%s\r\n' "$2" "$share_win\\ORV.mde" >"$share/update.ini"
  printf 'front-end, the installed revision' >"$app/ORV.mde"
  head -c 70000 /dev/urandom >"$share/ORV.mde"
  snapshot "$app/ORV.mde"
  snapshot "$app/config/config.ini"
}


# updated OLD-CONFIG-TEXT OLD-REVISION NEW-REVISION: the new front-end is in place and
# config.ini is the old text with its FileRevision line replaced and FileLastUpdate added after
# an empty line, at the end, with no line break after it.
updated() {
  local old="$1" before="FileRevision=$2"$'\r\n' after="FileRevision=$3"$'\r\n' stamp want
  expect_bytes "$app/ORV.mde" "$share/ORV.mde"
  stamp="$(tr -d '\r' <"$app/config/config.ini" | sed -n 's/^FileLastUpdate=//p')"
  [[ "$stamp" =~ ^[0-9]{1,2}/[0-9]{1,2}/20[0-9]{2}\ [0-9]{1,2}:[0-9]{2}:[0-9]{2}(\ [AP]M)?$ ]] \
    || fail "FileLastUpdate=[$stamp] is not the general date and time"
  want="${old/"$before"/"$after"}"$'\r\n'"FileLastUpdate=$stamp"
  expect_text "$app/config/config.ini" "$want"
}

scenario_update_higher() {
  new_scenario update-higher
  update_files 6 007
  run_agent 30 --on "Automatic Update" "*" "shot:update-window"
  expect_exit 0
  expect_line "$update_form_line"
  expect_count 1 "SHOW OrvastellUpdateForm"
  expect_line "GONE OrvastellUpdateForm|Automatic Update"
  expect_boxes 0
  updated "$config_text" 6 7
  expect_only "$app" Orvastell.exe ORV.mde config
  expect_opened "$app_win\\ORV.mde"
  expect_registered

  # The next start finds nothing newer: no window, nothing copied or written.
  snapshot "$app/config/config.ini"
  snapshot "$app/ORV.mde"
  new_scenario update-higher --keep
  run_without_update
}
scenarios+=(update_higher)

# run_without_update: runs the agent and checks that it showed no window, copied and wrote
# nothing, and opened the old front-end.
run_without_update() {
  run_agent 30
  expect_exit 0
  refuse_log "OrvastellUpdateForm"
  expect_boxes 0
  unchanged "$app/config/config.ini"
  unchanged "$app/ORV.mde"
  expect_only "$app" Orvastell.exe ORV.mde config
  expect_opened "$app_win\\ORV.mde"
}

# no_update NAME INSTALLED OFFERED [missing]: the agent finds no update to make.
no_update() {
  new_scenario "$1"
  update_files "$2" "$3"
  [[ "${4:-}" == missing ]] && rm "$share/ORV.mde"
  run_without_update
}
scenario_update_equal() { no_update update-equal 2 2.0; }
scenario_update_lower() { no_update update-lower 10 9; }
scenario_update_new_file_missing() { no_update update-new-file-missing 6 8 missing; }
scenarios+=(update_equal update_lower update_new_file_missing)

# The front-end in the application folder is write-protected: the copy fails with its box while
# the window is up, config.ini stays as it was and the old front-end opens; once the protection
# is gone, the next start copies.
scenario_update_copy_fails_then_retry() {
  new_scenario update-copy-fails
  update_files 6 7
  chmod a-w "$app/ORV.mde"
  run_agent 30
  expect_exit 0
  expect_line "$update_form_line"
  whoops "The file was not copied successfully.\\r\\n\\r\\nPermission denied: $app_win\\ORV.mde"
  expect_boxes 1
  local shown box gone
  shown="$(line_of "SHOW OrvastellUpdateForm")"
  box="$(line_of "SHOW #32770|Whoops!")"
  gone="$(line_of "GONE OrvastellUpdateForm")"
  ((shown > 0 && shown < box && box < gone)) || fail "the box was not shown while the window was up"
  unchanged "$app/config/config.ini"
  unchanged "$app/ORV.mde"
  expect_only "$app" Orvastell.exe ORV.mde config
  expect_opened "$app_win\\ORV.mde"

  chmod u+w "$app/ORV.mde"
  new_scenario update-copy-fails --keep
  run_agent 30
  expect_exit 0
  expect_line "$update_form_line"
  expect_boxes 0
  updated "$config_text" 6 7
  expect_opened "$app_win\\ORV.mde"
}
scenarios+=(update_copy_fails_then_retry)

# The front-end held open by another program while the update copies over it: one box, the
# old front-end and config.ini keep every byte, no temporary file is left, and it still opens.
scenario_update_front_end_locked() {
  new_scenario update-front-end-locked
  update_files 6 7
  wine "C:\\orvtest\\tools\\locker.exe" "$(winpath "$app/ORV.mde")" </dev/null >/dev/null 2>&1 &
  local locker=$! waited=0
  while [[ ! -e "$app/ORV.mde.locked" ]] && ((waited++ < 200)); do sleep 0.05; done
  if [[ ! -e "$app/ORV.mde.locked" ]]; then
    fail "the locker could not open ORV.mde"
  else
    rm -f "$app/ORV.mde.locked"
    run_agent 30
  fi
  : >"$app/ORV.mde.release"
  wait "$locker" 2>/dev/null || true
  rm -f "$app/ORV.mde.release"
  expect_exit 0
  expect_line "$update_form_line"
  whoops "The file was not copied successfully.\\r\\n\\r\\nPermission denied: $app_win\\ORV.mde"
  expect_boxes 1
  unchanged "$app/ORV.mde"
  unchanged "$app/config/config.ini"
  expect_only "$app" Orvastell.exe ORV.mde config
  expect_opened "$app_win\\ORV.mde"
}
scenarios+=(update_front_end_locked)

# A revision that is not a number skips the update with one box naming the file and the value;
# the front-end still opens.
scenario_update_not_a_number() {
  new_scenario update-not-a-number
  update_files 6 "seven"
  run_agent 30
  expect_exit 0
  whoops "The automatic update of Orvastell was skipped.\\r\\n\\r\\nThe revision \"seven\" in $share_win\\update.ini is not a number."
  expect_boxes 1
  refuse_log "OrvastellUpdateForm"
  unchanged "$app/config/config.ini"
  unchanged "$app/ORV.mde"
  expect_opened "$app_win\\ORV.mde"

  # The same for the installed revision in config.ini.
  new_scenario update-not-a-number-installed
  update_files "6x" 7
  run_agent 30
  expect_exit 0
  whoops "The automatic update of Orvastell was skipped.\\r\\n\\r\\nThe revision \"6x\" in $app_win\\config\\config.ini is not a number."
  expect_boxes 1
  refuse_log "OrvastellUpdateForm"
  unchanged "$app/config/config.ini"
  unchanged "$app/ORV.mde"
  expect_opened "$app_win\\ORV.mde"
}
scenarios+=(update_not_a_number)

# unsafe_location NAME FILE-LOCATION SOURCE-PATH: the update description offers a higher revision
# whose FileLocation exists on the share but does not end in a plain file name; the update is
# skipped with one box naming the description and the value, nothing is written anywhere, and
# the old front-end opens.
unsafe_location() {
  local name="$1" location="$2" source="$3"
  new_scenario "$name"
  update_files 6 7
  mkdir -p "$(dirname "$source")"
  printf 'planted' >"$source"
  printf '[UpdateFrontend]\r\nFileRevision=7\r\nFileLocation=%s\r\n' "$location" >"$share/update.ini"
  run_agent 30
  expect_exit 0
  whoops "The automatic update of Orvastell was skipped.\\r\\n\\r\\nThe file location \"$location\" in $share_win\\update.ini does not end in a plain file name."
  expect_boxes 1
  refuse_log "OrvastellUpdateForm"
  unchanged "$app/config/config.ini"
  unchanged "$app/ORV.mde"
  expect_only "$app" Orvastell.exe ORV.mde config
  expect_only "$base/$scenario" app share
  expect_opened "$app_win\\ORV.mde"
}
# "/" separates too: the name climbs out of the agent's folder (the source lies deeper on the
# share, so it is not the file the name would reach from the agent's folder).
scenario_update_traversal() {
  unsafe_location update-traversal "C:\\orvtest\\update-traversal\\share\\deep\\er\\d2/../../evil.txt" \
    "$base/update-traversal/share/deep/evil.txt"
}
# A device: NUL swallows the copy and the new revision would be recorded for nothing.
scenario_update_device() {
  unsafe_location update-device "C:\\orvtest\\update-device\\share\\NUL.mde" "$base/update-device/share/NUL.mde"
}
# ":" names a stream of the file (or a drive): the copy would hide in the front-end's stream.
scenario_update_stream() {
  unsafe_location update-stream "C:\\orvtest\\update-stream\\share\\ORV.mde:evil" "$base/update-stream/share/ORV.mde:evil"
}
scenarios+=(update_traversal update_device update_stream)
