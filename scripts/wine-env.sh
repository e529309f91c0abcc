# Sourced (". scripts/wine-env.sh"): gives the calling shell a scratch Wine prefix and, when there
# is no X display, a private Xvfb display. Both go away when the shell exits: the prefix's
# wineserver is stopped, the Xvfb started here is ended and the prefix is removed.
#
# Exports WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES, DISPLAY (if none was set) and ORV_WINE_DISPLAY_OWNED
# (1 when the display is our Xvfb). Set ORV_WINEPREFIX to use (and keep) a prefix of your own,
# ORV_KEEP_WINEPREFIX=1 to keep the scratch one. Call orv_wine_env_cleanup yourself if you replace
# the EXIT trap.

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
  export WINEARCH=win64

  if [[ -n "${ORV_WINEPREFIX:-}" ]]; then
    export WINEPREFIX="${ORV_WINEPREFIX}"
    mkdir -p "${WINEPREFIX}"
  else
    ORV_SCRATCH_PREFIX="$(mktemp -d /tmp/orv-wine.XXXXXX)"
    export WINEPREFIX="${ORV_SCRATCH_PREFIX}"
  fi

  export ORV_WINE_DISPLAY_OWNED=0
  if [[ -z "${DISPLAY:-}" ]]; then
    local n=90
    while [[ -e "/tmp/.X${n}-lock" || -e "/tmp/.X11-unix/X${n}" ]]; do n=$((n + 1)); done
    Xvfb ":${n}" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    ORV_XVFB_PID=$!
    local tries=0
    while [[ ! -e "/tmp/.X11-unix/X${n}" ]]; do
      if ! kill -0 "${ORV_XVFB_PID}" 2>/dev/null || ((++tries > 100)); then
        echo "wine-env: Xvfb did not start on :${n}" >&2
        return 1
      fi
      sleep 0.1
    done
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
  # live; this Wine, without its 32-bit half, names it but does not make it.
  mkdir -p "${WINEPREFIX}/drive_c/windows/syswow64"
  # Windows placed by the window manager's rules (none under Xvfb), not by Wine's X11 driver.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
}

if orv_wine_env_setup; then
  orv_previous_exit_trap="$(trap -p EXIT | sed -E "s/^trap -- '(.*)' EXIT$/\1/")"
  # shellcheck disable=SC2064
  trap "orv_wine_env_cleanup${orv_previous_exit_trap:+; ${orv_previous_exit_trap}}" EXIT
else
  orv_wine_env_cleanup
  false
fi
