# A private Wine prefix for tests and the demo, booted once and kept alive while used.
# Sourced; needs WINE_ROOT set to a scratch directory.
wine_start() {
    export WINEPREFIX="$WINE_ROOT/prefix"
    export WINEDEBUG=-all
    export WINEARCH=win64
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    if [ -z "${DISPLAY:-}" ] || [ -n "${MQ6_FORCE_XVFB:-}" ]; then
        local display=":$((90 + RANDOM % 100))"
        Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$WINE_ROOT/xvfb.log" 2>&1 &
        XVFB_PID=$!
        export DISPLAY="$display"
        sleep 1
    fi
    wineboot -i >"$WINE_ROOT/wineboot.log" 2>&1
    wineserver -p >/dev/null 2>&1
}

wine_stop() {
    wineserver -k >/dev/null 2>&1
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
    XVFB_PID=""
}

# Makes COMn of the prefix point at a device path (a simulator's pseudo-terminal).
wine_com_link() {
    ln -sfn "$2" "$WINEPREFIX/dosdevices/$(echo "$1" | tr 'A-Z' 'a-z')"
}
