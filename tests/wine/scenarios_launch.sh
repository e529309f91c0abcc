# shellcheck shell=bash disable=SC2034,SC2154
# The launch of the front-end from the install folder named in the registry.

# launched NAME EXPECTED-PATH new_scenario-OPTIONS...: the front-end at that path is opened,
# once, and the agent ends without a box.
launched() {
  local name="$1" expected="$2"
  shift 2
  new_scenario "$name" "$@"
  printf 'front-end' >"$app/ORV.mde"
  run_agent 30
  expect_exit 0
  expect_boxes 0
  expect_opened "$expected"
  expect_registered
}
scenario_launch_blanks() {
  launched launch-blanks 'C:\orvtest\launch-blanks\app\ORV.mde' --install ' C:\orvtest\launch-blanks\app '
}
# The agent passes the path with two separators in a row; the shell of the prefix folds them into
# one when it hands the file to its program, so that is what the recorder sees.
scenario_launch_trailing_backslash() {
  launched launch-trailing-backslash 'C:\orvtest\launch-trailing-backslash\app\ORV.mde' \
    --install 'C:\orvtest\launch-trailing-backslash\app\'
}
scenarios+=(launch_blanks launch_trailing_backslash)

# not_launched: one "Whoops!" box that the program file cannot be found; nothing is opened.
not_launched() {
  local shot=""
  [[ "$scenario" == launch-no-key ]] && shot="shot:box-error,"
  run_agent 30 --on "Whoops!" "*" "${shot}press:OK"
  expect_exit 0
  whoops "$(launch_failed_text)"
  expect_boxes 1
  expect_opened
  expect_registered
}
scenario_launch_no_key() {
  new_scenario launch-no-key --no-install
  printf 'front-end' >"$app/ORV.mde"
  not_launched
}
scenario_launch_empty_value() {
  new_scenario launch-empty-value --install ""
  printf 'front-end' >"$app/ORV.mde"
  not_launched
}
scenario_launch_folder_named_like_the_file() {
  new_scenario launch-folder-named-orv-mde
  mkdir -p "$app/ORV.mde"
  not_launched
}
scenarios+=(launch_no_key launch_empty_value launch_folder_named_like_the_file)

# No program for .mde files: the shell refuses the front-end; the user is told which file and
# why, in one box, and the run ends as one that an error ended.
scenario_launch_no_association() {
  new_scenario launch-no-association
  printf 'front-end' >"$app/ORV.mde"
  dissociate .mde
  run_agent 30
  associate .mde
  expect_exit 1
  shell_refused "$app_win\\ORV.mde"
  expect_boxes 1
  expect_opened
  expect_registered
}
scenarios+=(launch_no_association)
