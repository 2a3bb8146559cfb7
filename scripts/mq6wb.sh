# mq6wb.exe under Wine against the simulated unit, for the demo and the smoke run of
# scripts/test: the simulator's pseudo-terminal as COM7 of the prefix, the entries that the
# FTDI driver would make for an attached unit (so that automatic search finds it), the program
# started from a folder of its own (its settings file lands there), views chosen through
# mq6wb-send, and pictures taken of the screen. Sourced after scripts/wine.sh, with the prefix
# started (wine_start) and WINE_ROOT set.

MQ6WB_COM=COM7
MQ6WB_SIM_PID=""
MQ6WB_APP_PID=""

# mq6wb_unit SIM_PATH [SIM_OPTIONS...]: starts the simulated unit and makes its terminal COM7.
mq6wb_unit() {
    local sim=$1
    shift
    "$sim" --link "$WINE_ROOT/unit-tty" "$@" >"$WINE_ROOT/unit.out" 2>&1 &
    MQ6WB_SIM_PID=$!
    local tries
    for tries in $(seq 50); do
        [ -s "$WINE_ROOT/unit.out" ] && [ -e "$WINE_ROOT/unit-tty" ] && break
        sleep 0.1
    done
    local tty
    tty=$(head -n 1 "$WINE_ROOT/unit.out")
    [ -e "$tty" ] || { echo "mq6-sim did not start (see $WINE_ROOT/unit.out)"; return 1; }
    wine_com_link "$MQ6WB_COM" "$tty"
}

# The registry as an attached unit leaves it: its USB instance named "MQ-6", the driver's
# entry naming its port, and the port listed as present.
mq6wb_driver_entries() {
    local instance=MQ6SIM01
    wine reg add "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_0403&Pid_6001\\$instance" \
        /v LocationInformation /t REG_SZ /d "MQ-6" /f >/dev/null 2>&1 &&
        wine reg add "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\Vid_0403+Pid_6001+${instance}A\\0000" \
            /v FriendlyName /t REG_SZ /d "USB Serial Port ($MQ6WB_COM)" /f >/dev/null 2>&1 &&
        wine reg add "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM" \
            /v "\\Device\\VCP0" /t REG_SZ /d "$MQ6WB_COM" /f >/dev/null 2>&1
}

# mq6wb_start WINDOWS_BUILD_DIR [EXE [ARGS...]]: starts the utility (or EXE of that folder in its
# place, as mq6wb.exe) from a folder of its own, with ARGS on its command line. On a virtual display without a window manager, Wine
# draws the window frames itself.
mq6wb_start() {
    mkdir -p "$WINE_ROOT/app"
    cp "$1/${2:-mq6wb.exe}" "$WINE_ROOT/app/mq6wb.exe" || return 1
    cp "$1/mq6wb-send.exe" "$WINE_ROOT/app/" || return 1
    if [ -n "${XVFB_PID:-}" ]; then
        wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /t REG_SZ /d N /f \
            >/dev/null 2>&1
    fi
    (cd "$WINE_ROOT/app" && exec wine mq6wb.exe "${@:3}") >"$WINE_ROOT/app.out" 2>&1 &
    MQ6WB_APP_PID=$!
    wine "$WINE_ROOT/app/mq6wb-send.exe" wait 30
}

# mq6wb_view afr|history|setup|firmware|exit: chooses the menu command in the running utility.
mq6wb_view() {
    wine "$WINE_ROOT/app/mq6wb-send.exe" "$1" 10
}

# mq6wb_shot FILE: a picture of the whole screen.
mq6wb_shot() {
    import -window root -display "$DISPLAY" "$1"
}

# mq6wb_pixels FILE R G B: how many pixels of the picture have exactly that colour.
mq6wb_pixels() {
    local count
    count=$(convert "$1" -format %c histogram:info:- |
        awk -v colour="($2,$3,$4)" '{ gsub(/ /, ""); split($0, f, ":"); if (index(f[2], colour) == 1) print f[1] }')
    echo "${count:-0}"
}

# Ends the utility (as Exit does, then by force) and the simulated unit; 1 when the utility
# had to be forced.
mq6wb_stop() {
    local forced=0
    if [ -n "$MQ6WB_APP_PID" ] && kill -0 "$MQ6WB_APP_PID" 2>/dev/null; then
        mq6wb_view exit >/dev/null 2>&1
        local tries
        for tries in $(seq 150); do
            kill -0 "$MQ6WB_APP_PID" 2>/dev/null || break
            sleep 0.1
        done
        if kill "$MQ6WB_APP_PID" 2>/dev/null; then
            forced=1
        fi
        wait "$MQ6WB_APP_PID" 2>/dev/null
    fi
    MQ6WB_APP_PID=""
    if [ -n "$MQ6WB_SIM_PID" ]; then
        kill "$MQ6WB_SIM_PID" 2>/dev/null
        wait "$MQ6WB_SIM_PID" 2>/dev/null
    fi
    MQ6WB_SIM_PID=""
    return $forced
}

# mq6wb_smoke WINDOWS_BUILD_DIR SIM_PATH PICTURE: the real program finds the unit by automatic
# search, shows the AFR and Lambda view with live data, and closes cleanly. The picture is kept.
mq6wb_smoke() {
    local build=$1 sim=$2 picture=$3
    local ok=0
    mq6wb_unit "$sim" --profile sine:0.85:1.15:8 --log "$WINE_ROOT/unit.log" &&
        mq6wb_driver_entries && mq6wb_start "$build" || ok=1
    if [ $ok -eq 0 ]; then
        # Found, opened and read: the unit has answered the data-block request.
        local tries
        for tries in $(seq 150); do
            grep -q "^52 07 " "$WINE_ROOT/unit.log" 2>/dev/null && break
            sleep 0.1
        done
        mq6wb_view afr >/dev/null && sleep 4 && mq6wb_shot "$picture" || ok=1
    fi
    if [ $ok -eq 0 ]; then
        grep -q "^52 00 08 " "$WINE_ROOT/unit.log" ||
            { echo "mq6wb smoke: the live stream was never asked for"; ok=1; }
        # The dial face, the needle and the blue status line are on the screen.
        local face needle status
        face=$(mq6wb_pixels "$picture" 235 235 235)
        needle=$(mq6wb_pixels "$picture" 210 20 10)
        status=$(mq6wb_pixels "$picture" 40 40 240)
        if [ "$face" -lt 40000 ] || [ "$needle" -lt 200 ] || [ "$status" -lt 5000 ]; then
            echo "mq6wb smoke: picture lacks the view (face $face, needle $needle, status $status)"
            ok=1
        fi
    fi
    mq6wb_stop || { echo "mq6wb smoke: Exit did not end the program"; ok=1; }
    # Closing saved the settings beside the program, with the port that the search found.
    grep -q "^\[PORT\] $MQ6WB_COM" "$WINE_ROOT/app/MQ-6_Setup.cfg" 2>/dev/null ||
        { echo "mq6wb smoke: the settings file does not name $MQ6WB_COM"; ok=1; }
    return $ok
}

# mq6wb_record_smoke WINDOWS_BUILD_DIR SIM_PATH: mq6wb.exe --record FILE against a unit that
# sends lambda 0.80 and 1.20 only, killed from outside while it records: the file holds the
# header and whole rows (all lines but the last), each with one of the two values the unit sent.
mq6wb_record_smoke() {
    local build=$1 sim=$2 csv="$WINE_ROOT/record smoke.csv"
    local ok=0
    mq6wb_unit "$sim" --profile step:0.80:1.20:1 --rate 50 && mq6wb_driver_entries &&
        mq6wb_start "$build" mq6wb.exe --record "$(echo "Z:$csv" | tr / '\\')" || ok=1
    local tries
    for tries in $(seq 200); do
        [ "$(cat "$csv" 2>/dev/null | wc -l)" -ge 100 ] && break
        sleep 0.1
    done
    kill -9 "$MQ6WB_APP_PID" 2>/dev/null
    wait "$MQ6WB_APP_PID" 2>/dev/null
    MQ6WB_APP_PID=""
    mq6wb_stop
    local rows bad
    rows=$(tail -n +2 "$csv" 2>/dev/null | wc -l)
    bad=$(sed '$d' "$csv" 2>/dev/null | tail -n +2 | tr -d '\r' |
        grep -cvE '^[0-9]+\.[0-9]{3},[0-9]\.[0-9]{2},[0-9]+\.[0-9],(0\.8000|1\.2000),14\.70,$')
    if [ "$(head -n 1 "$csv" 2>/dev/null | tr -d '\r')" != "time_s,lambda,afr,lambda_raw,stoich,mark" ] ||
        [ "$rows" -lt 100 ] || [ "$bad" -ne 0 ]; then
        echo "mq6wb record smoke: $rows rows, $bad not whole or not sent by the unit ($csv)"
        ok=1
    fi
    return $ok
}
