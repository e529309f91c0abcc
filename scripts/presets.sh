# shellcheck shell=bash
# Sourced (from the repository's root): the one place the scripts learn which build folder belongs
# to which preset, and where a build folder keeps its program. CMakePresets.json says where each
# preset builds; the scripts ask it rather than repeat it.
#
#   orv_preset_dir PRESET   the build folder of a configure preset, relative to the root
#   orv_test_preset ARCH    the preset that builds the agent and its test programs for ARCH
#                           (i686: the 32-bit program as the release build makes it; x86_64)
#   orv_agent_in DIR        the Orvastell.exe that the build folder DIR makes

orv_preset_dir() {
  python3 - "$1" <<'PY'
import json, sys
presets = {p["name"]: p for p in json.load(open("CMakePresets.json"))["configurePresets"]}
def binary_dir(name):
    preset = presets[name]
    if "binaryDir" in preset:
        return preset["binaryDir"]
    parents = preset.get("inherits", [])
    for parent in [parents] if isinstance(parents, str) else parents:
        found = binary_dir(parent)
        if found:
            return found
    return None
folder = binary_dir(sys.argv[1])
if not folder or not folder.startswith("${sourceDir}/"):
    sys.exit("no build folder under the sources for the preset " + sys.argv[1])
print(folder[len("${sourceDir}/"):])
PY
}

orv_test_preset() {
  case "$1" in
    i686) echo mingw-x86-tests ;;
    x86_64) echo mingw ;;
    *) echo "orv_test_preset: no preset builds for $1" >&2; return 1 ;;
  esac
}

orv_agent_in() { echo "$1/src/win32/Orvastell.exe"; }
