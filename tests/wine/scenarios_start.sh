# shellcheck shell=bash disable=SC2034,SC2154
# Start-up: the Access version classes and the answers to the runtime question.

# An "ok" version opens the front-end with no question and no box.
ok_version() {  # ok_version NAME CURVER
  new_scenario "$1" --access "$2"
  printf 'front-end' >"$app/ORV.mde"
  run_agent 30
  expect_exit 0
  expect_boxes 0
  refuse_log "SHOW Orvastell"
  expect_opened "$app_win\\ORV.mde"
  expect_registered
  expect_requests 0
  expect_only "$app" Orvastell.exe ORV.mde config
  # The transfer control was in place: neither copied again nor registered.
  expect_text "$syswow64/MSINET.OCX" 'transfer control in place'
}
scenario_version_11() { ok_version version-11 "Access.Database.11"; }
scenario_version_12() { ok_version version-12 "Access.Database.12"; }
scenarios+=(version_11 version_12)

# The question, answered No: exactly one "Can not continue" box, then nothing at all.
refused() {  # refused NAME FIRST-SENTENCE SHOTS new_scenario-OPTIONS...
  local name="$1" sentence="$2" shot_question="" shot_information=""
  shift 2
  if [[ "$1" == shots ]]; then shot_question="shot:box-question," shot_information="shot:box-information,"; fi
  shift
  new_scenario "$name" "$@"
  printf 'front-end' >"$app/ORV.mde"
  mkdir -p "$app/runtime"
  printf 'installer package' >"$app/runtime/ACCESSRT.MSI"
  run_agent 30 \
    --on "Download MS Access 2003 Runtime?" "*" "${shot_question}press:No" \
    --on "Can not continue" "*" "${shot_information}press:OK"
  expect_exit 0
  expect_box "Download MS Access 2003 Runtime?" "$(question_text "$sentence")" "[&Yes][&No]"
  expect_box "Can not continue" "$refusal_text" "[OK]"
  expect_boxes 2
  refuse_log "SHOW Orvastell"
  expect_opened
  expect_registered
  expect_requests 0
  expect_only "$app/runtime" ACCESSRT.MSI
}
scenario_access_missing_no() { refused access-missing-no "$no_access_sentence" shots --no-access; }
scenario_access_empty_no() { refused access-empty-no "$no_access_sentence" - --access ""; }
scenario_version_10_no() { refused version-10-no "$too_old_sentence" - --access "Access.Database.10"; }
scenario_version_9_no() { refused version-9-no "$too_old_sentence" - --access "Access.Database.9"; }
scenarios+=(access_missing_no access_empty_no version_10_no version_9_no)

# A class name without a version number: the conversion fails, the run ends with the unhandled
# error's box and nothing else happens (no question, no update, no launch).
scenario_version_not_a_number() {
  new_scenario version-not-a-number --access "Access.Database"
  printf 'front-end' >"$app/ORV.mde"
  run_agent 30 --on "Orvastell" "*" "shot:box-unhandled-error,press:OK"
  expect_exit 1
  expect_box "Orvastell" "Run-time error '13':\\r\\n\\r\\nType mismatch" "[OK]"
  expect_boxes 1
  refuse_log "SHOW Orvastell"
  expect_opened
  expect_registered
  expect_requests 0
}
scenarios+=(version_not_a_number)
