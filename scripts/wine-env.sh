# Sourced (". scripts/wine-env.sh"): gives the calling shell a scratch Wine prefix and, when there
# is no X display, a private Xvfb display. Both go away when the shell exits: the prefix's
# wineserver is stopped, the Xvfb started here is ended and the prefix is removed.
#
# Exports WINEPREFIX, WINEARCH, WINEDEBUG, WINEDLLOVERRIDES, DISPLAY (if none was set) and
# ORV_WINE_DISPLAY_OWNED (1 when the display is our Xvfb). Set ORV_WINEPREFIX to use (and keep) a
# prefix of your own, ORV_KEEP_WINEPREFIX=1 to keep the scratch one, ORV_WINEARCH=win32 for a
# prefix that is a 32-bit Windows (it needs the 32-bit half of Wine). Call orv_wine_env_cleanup
# yourself if you replace the EXIT trap.
#
# orv_wine_native PROGRAM ARGS... runs one of Wine's own programs (regedit, reg) built for the
# prefix's Windows: the 64-bit one in a 64-bit prefix even where the 32-bit half of Wine is
# installed (plain "wine regedit" is then the 32-bit program, whose writes to HKEY_LOCAL_MACHINE\Software
# land in the 32-bit view).

orv_wine_env_cleanup() {
  if [[ -n "${WINEPREFIX:-}" && -d "${WINEPREFIX}" ]]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  if [[ -n "${ORV_XVFB_PID:-}" ]]; then
    kill "${ORV_XVFB_PID}" 2>/dev/null || true
    wait "${ORV_XVFB_PID}" 2>/dev/null || true
    ORV_XVFB_PID=
  fi
  if [[ -n "${ORV_SCRATCH_PREFIX:-}" && -z "${ORV_KEEP_WINEPREFIX:-}" ]]; then
    rm -rf "${ORV_SCRATCH_PREFIX}"
    ORV_SCRATCH_PREFIX=
  fi
}

orv_wine_env_setup() {
  export WINEDEBUG=-all
  # No .NET and no HTML engine: their installers would ask to download during wineboot.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH="${ORV_WINEARCH:-win64}"

  if [[ -n "${ORV_WINEPREFIX:-}" ]]; then
    export WINEPREFIX="${ORV_WINEPREFIX}"
    mkdir -p "${WINEPREFIX}"
  else
    ORV_SCRATCH_PREFIX="$(mktemp -d /tmp/orv-wine.XXXXXX)"
    export WINEPREFIX="${ORV_SCRATCH_PREFIX}"
  fi

  export ORV_WINE_DISPLAY_OWNED=0
  if [[ -z "${DISPLAY:-}" ]]; then
    # Xvfb chooses a free display itself and writes its number when it is ready: several test
    # runs on one machine (each with a display of its own) never pick the same one.
    local numfile n="" tries=0
    numfile="$(mktemp /tmp/orv-display.XXXXXX)"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 </dev/null &
    ORV_XVFB_PID=$!
    while [[ -z "$n" ]]; do
      n="$(tr -dc 0-9 <"$numfile")"
      [[ -n "$n" ]] && break
      if ! kill -0 "${ORV_XVFB_PID}" 2>/dev/null || ((++tries > 200)); then
        rm -f "$numfile"
        echo "wine-env: Xvfb did not start" >&2
        return 1
      fi
      sleep 0.1
    done
    rm -f "$numfile"
    export DISPLAY=":${n}"
    ORV_WINE_DISPLAY_OWNED=1
  fi

  # Wine's own fonts (Tahoma, Marlett for the caption buttons, MS Sans Serif) are not found in
  # its data folder by this build; in the prefix's Fonts folder they are.
  if [[ -d /usr/share/wine/fonts ]]; then
    mkdir -p "${WINEPREFIX}/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* "${WINEPREFIX}/drive_c/windows/Fonts/" 2>/dev/null || true
  fi

  # One server for the whole session: every test program would otherwise pay for its start.
  wineserver -p >/dev/null 2>&1 </dev/null || true
  if ! timeout 600 wineboot -i >/dev/null 2>&1 </dev/null; then
    echo "wine-env: wineboot failed in ${WINEPREFIX}" >&2
    return 1
  fi
  # A 64-bit Windows has its 32-bit system folder, where 32-bit components and their regsvr32
  # live. With its 32-bit half Wine fills it; without it, Wine names it but does not make it, and
  # this stand-in is all there is.
  if [[ "${WINEARCH}" == win64 ]]; then mkdir -p "${WINEPREFIX}/drive_c/windows/syswow64"; fi
  # Windows placed by the window manager's rules (none under Xvfb), not by Wine's X11 driver.
  orv_wine_native reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
}

# orv_regedit FILE [SHARED-FILE] imports FILE (a .reg file) with the prefix's own regedit, which
# stores keys under the names they have in the file. SHARED-FILE names only keys that both views
# share (HKEY_CURRENT_USER, file associations and classes): in a 64-bit prefix with the 32-bit
# Wine beside it, it is imported with the 32-bit regedit as well, so that a 32-bit program finds
# those keys whether or not this Wine redirects them.
orv_regedit() {
  orv_wine_native regedit /S "Z:${1//\//\\}" </dev/null
  if [[ -n "${2:-}" && "${WINEARCH:-win64}" == win64 && -x /usr/lib/wine/wine ]]; then
    WINELOADER=/usr/lib/wine/wine /usr/lib/wine/wine regedit /S "Z:${2//\//\\}" </dev/null
  fi
}

orv_wine_native() {
  if [[ "${WINEARCH:-win64}" == win64 && -x /usr/lib/wine/wine64 ]]; then
    WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 "$@"
  else
    wine "$@"
  fi
}

if orv_wine_env_setup; then
  orv_previous_exit_trap="$(trap -p EXIT | sed -E "s/^trap -- '(.*)' EXIT$/\1/")"
  # shellcheck disable=SC2064
  trap "orv_wine_env_cleanup${orv_previous_exit_trap:+; ${orv_previous_exit_trap}}" EXIT
else
  orv_wine_env_cleanup
  false
fi
