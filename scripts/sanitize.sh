# Sanitizer and fuzzing runs of the native build. Sourced by scripts/test, which calls
# sanitize_asan, sanitize_tsan and sanitize_fuzz and adds SANITIZE_PASSED and SANITIZE_FAILED
# to its totals; scripts/fuzz uses the fuzz build and the target list from here.
#
#   build/asan   gcc, AddressSanitizer + UndefinedBehaviorSanitizer: the whole native suite
#   build/tsan   gcc, ThreadSanitizer: the suites that run threads (TSAN_SUITES), built alone
#   build/fuzz   clang, libFuzzer + ASan + UBSan: each target replays its committed corpus
#                in fuzz/corpus/<name>/ and then fuzzes for FUZZ_SECONDS
#
# Every sanitizer report fails the run: the processes stop at the first one, and the reports
# of all processes (the simulator and the command-line tool run as children of the tests)
# are collected in <build dir>/sanitizer-logs/ and printed.

# Suites whose tests run the comm thread, the display thread, exchanges, programming
# sequences or the threaded command-line tool and simulator. A suite missing from the test
# binary is a failure, so a renamed suite cannot drop out of the run unnoticed.
TSAN_SUITES=(CommThreadTest ProtocolTest DisplayThreadTest ProgrammingTest
    SetupTransferTest SimTest CliDiscoveryTest
    FirmwareCliTest LiveCliTest SetupCliTest FindPortTest GaugeTest)

# Seconds of fuzzing per target in scripts/test, and how many targets fuzz at once.
FUZZ_SECONDS=${FUZZ_SECONDS:-10}
FUZZ_PARALLEL=${FUZZ_PARALLEL:-2}
# A single input that runs longer than this is a hang.
FUZZ_TIMEOUT_SECONDS=10

# Tests run at once: they spend most of their time waiting on serial lines and timers, so
# more run than there are cores; fewer under ThreadSanitizer, which slows each one several
# times over, while every reply of the simulated unit must still come within half a second.
CTEST_JOBS=${CTEST_JOBS:-4}
TSAN_CTEST_JOBS=${TSAN_CTEST_JOBS:-2}

SANITIZE_PASSED=0
SANITIZE_FAILED=0

sanitize_pass() {
    SANITIZE_PASSED=$((SANITIZE_PASSED + $1))
}

sanitize_fail() {
    echo "sanitize: FAILED: $2"
    SANITIZE_FAILED=$((SANITIZE_FAILED + $1))
}

# sanitize_build DIR OPTIMIZATION CMAKE-ARGS...: configures and builds DIR; logs beside it.
sanitize_build() {
    local dir=$1 optimization=$2
    shift 2
    local start=$SECONDS
    # Without the desktop program: Qt's own libraries are not built with the sanitizers, and the
    # rules it runs are the ones the native suite runs here.
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=$optimization -g1" \
        -DMQ6_WERROR=ON -DMQ6_DESKTOP=OFF "$@" >"$dir-configure.log" 2>&1 || { cat "$dir-configure.log"; return 1; }
    ${MQ6_BUSY_NICE:-} ninja -C "$dir" -j2 >"$dir-build.log" 2>&1 ||
        { grep -E "error|FAILED" -A5 "$dir-build.log" | head -n 60; return 1; }
    echo "sanitize: built $dir in $((SECONDS - start)) s"
}

# sanitize_reports DIR: 0 when no process left a report in DIR/sanitizer-logs, else prints
# the reports' summaries and the first report whole.
sanitize_reports() {
    local logs=$1/sanitizer-logs
    local reports=("$logs"/*)
    [ -e "${reports[0]}" ] || return 0
    echo "sanitize: ${#reports[@]} report(s) in $logs:"
    grep -h -E "^SUMMARY|runtime error" "${reports[@]}" | sort | uniq -c | head -n 20
    head -n 60 "${reports[0]}"
    return 1
}

# sanitize_ctest DIR NAME JOBS [REGEX]: runs the native tests of DIR (those matching REGEX),
# JOBS at once, adds their counts, and one check that no sanitizer report was written.
sanitize_ctest() {
    local dir=$1 name=$2 jobs=$3 regex=${4:-}
    local logs
    logs=$(cd "$dir" && pwd)/sanitizer-logs
    rm -rf "$logs"
    mkdir -p "$logs"
    local select=()
    [ -n "$regex" ] && select=(-R "$regex")
    local start=$SECONDS
    ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:log_path=$logs/asan" \
        UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$logs/ubsan" \
        TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:log_path=$logs/tsan" \
        ctest --test-dir "$dir" -j"$jobs" --output-on-failure --timeout 300 \
        "${select[@]}" >"$dir/ctest.log" 2>&1
    local status=$?
    local summary
    summary=$(grep -E "[0-9]+% tests passed" "$dir/ctest.log" | tail -n 1)
    echo "sanitize: $name: ${summary:-no test ran} ($((SECONDS - start)) s)"
    if [ -n "$summary" ]; then
        local total bad
        total=$(echo "$summary" | sed -E 's/.* out of ([0-9]+).*/\1/')
        bad=$(echo "$summary" | sed -E 's/.*, ([0-9]+) tests? failed.*/\1/')
        grep -E "^\s+[0-9]+ - " "$dir/ctest.log" | head -n 20
        sanitize_pass $((total - bad))
        if [ "$bad" -gt 0 ]; then
            sanitize_fail "$bad" "$name: $bad test(s)"
        elif [ $status -ne 0 ]; then
            sanitize_fail 1 "$name: ctest exited with $status"
        fi
    else
        sanitize_fail 1 "$name: no test ran"
    fi
    if sanitize_reports "$dir"; then
        sanitize_pass 1
    else
        sanitize_fail 1 "$name: sanitizer reports"
    fi
}

# Sets TSAN_REGEX to the ctest regex of TSAN_SUITES; fails a check for each suite that the
# test binary does not have.
tsan_regex() {
    local binary=$1 suites suite
    suites=$("$binary" --gtest_list_tests | grep -E "^[^ ]" | sed 's/\.$//')
    TSAN_REGEX=""
    for suite in "${TSAN_SUITES[@]}"; do
        if ! grep -qxF "$suite" <<<"$suites"; then
            sanitize_fail 1 "suite $suite is not in $binary (TSAN_SUITES, scripts/sanitize.sh)"
            continue
        fi
        TSAN_REGEX+="${TSAN_REGEX:+|}$suite"
    done
    TSAN_REGEX="^($TSAN_REGEX)\\."
}

# fuzz_build DIR: the libFuzzer targets, built with clang.
fuzz_build() {
    local dir=$1
    local start=$SECONDS
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        -DMQ6_WERROR=ON -DMQ6_FUZZ=ON -DMQ6_BUILD_TESTS=OFF >"$dir-configure.log" 2>&1 ||
        { cat "$dir-configure.log"; return 1; }
    ${MQ6_BUSY_NICE:-} ninja -C "$dir" -j2 fuzz_targets >"$dir-build.log" 2>&1 ||
        { grep -E "error|FAILED" -A5 "$dir-build.log" | head -n 60; return 1; }
    echo "sanitize: built $dir in $((SECONDS - start)) s"
}

# The names of the fuzz targets: fuzz/<name>_fuzz.cpp.
fuzz_targets() {
    local source
    for source in fuzz/*_fuzz.cpp; do
        source=${source#fuzz/}
        echo "${source%_fuzz.cpp}"
    done
}

# fuzz_run DIR NAME SECONDS: replays fuzz/corpus/NAME, then fuzzes NAME for SECONDS with
# DIR/corpus/NAME as its growing working corpus; crashing inputs go to DIR/crashes/NAME/.
# Writes DIR/logs/NAME.{replay,fuzz}.log. 0 when both ran clean, 2 when the committed corpus
# fails, 1 when fuzzing found a failing input.
fuzz_run() {
    local dir=$1 name=$2 seconds=$3
    local binary=$dir/fuzz_$name
    mkdir -p "$dir/corpus/$name" "$dir/crashes/$name" "$dir/logs"
    ${MQ6_BUSY_NICE:-} "$binary" -runs=0 -timeout=$FUZZ_TIMEOUT_SECONDS -artifact_prefix="$dir/crashes/$name/" \
        "fuzz/corpus/$name" >"$dir/logs/$name.replay.log" 2>&1 || return 2
    ${MQ6_BUSY_NICE:-} "$binary" -max_total_time="$seconds" -timeout=$FUZZ_TIMEOUT_SECONDS -print_final_stats=1 \
        -artifact_prefix="$dir/crashes/$name/" "$dir/corpus/$name" "fuzz/corpus/$name" \
        >"$dir/logs/$name.fuzz.log" 2>&1 || return 1
}

# fuzz_summary DIR NAME: one line of what the run did; appended to DIR/executions.log too.
fuzz_summary() {
    local dir=$1 name=$2
    local log=$dir/logs/$name.fuzz.log
    local runs rate
    runs=$(sed -n -E 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$log" 2>/dev/null)
    rate=$(sed -n -E 's/^stat::average_exec_per_sec: *([0-9]+)/\1/p' "$log" 2>/dev/null)
    local line
    line=$(printf "%-14s %10s executions %8s/s  corpus %5s files" "$name" "${runs:-0}" \
        "${rate:-0}" "$(ls "$dir/corpus/$name" | wc -l)")
    echo "fuzz: $line"
    echo "$(date -u +%FT%TZ) $line" >>"$dir/executions.log"
}

# fuzz_report DIR NAME: prints why a target's replay or run failed.
fuzz_report() {
    local dir=$1 name=$2 log
    local findings="broken promise|runtime error|^==[0-9]+==ERROR|^SUMMARY|Test unit written"
    for log in "$dir/logs/$name.replay.log" "$dir/logs/$name.fuzz.log"; do
        [ -e "$log" ] || continue
        if grep -qE "$findings" "$log"; then
            echo "fuzz: $name: $log"
            grep -E "$findings" "$log" | head -n 10
        fi
    done
}

# fuzz_all DIR SECONDS [ADD-TO-TOTALS]: every target, FUZZ_PARALLEL at a time. With
# ADD-TO-TOTALS, each target counts two checks (corpus replay, fuzzing run).
fuzz_all() {
    local dir=$1 seconds=$2 count=${3:-}
    local names pids=() name i start=$SECONDS failures=0
    mapfile -t names < <(fuzz_targets)
    rm -f "$dir/logs/"*.log
    for ((i = 0; i < ${#names[@]}; i += FUZZ_PARALLEL)); do
        pids=()
        local batch=("${names[@]:i:FUZZ_PARALLEL}")
        for name in "${batch[@]}"; do
            fuzz_run "$dir" "$name" "$seconds" &
            pids+=($!)
        done
        local j
        for ((j = 0; j < ${#batch[@]}; j++)); do
            name=${batch[j]}
            wait "${pids[j]}"
            local status=$?
            if [ $status -ne 0 ]; then
                failures=$((failures + 1))
                fuzz_report "$dir" "$name"
            fi
            if [ -n "$count" ]; then
                case $status in
                0) sanitize_pass 2 ;;
                1) sanitize_pass 1 && sanitize_fail 1 "fuzz_$name: fuzzing found a failing input" ;;
                *) sanitize_fail 2 "fuzz_$name: an input of fuzz/corpus/$name fails" ;;
                esac
            fi
            [ $status -ne 2 ] && fuzz_summary "$dir" "$name"
        done
    done
    echo "fuzz: ${#names[@]} targets, $seconds s each, in $((SECONDS - start)) s"
    [ $failures -eq 0 ]
}

# sanitize_asan ROOT, sanitize_tsan ROOT, sanitize_fuzz ROOT: one build under ROOT and its
# runs each, adding to the counts; scripts/test runs them in two of its groups. The command in
# SANITIZE_BEFORE_TESTS, if any, runs between the AddressSanitizer build and its tests.
sanitize_asan() {
    # Unoptimised: it builds in half the time of -O1 and the suite, which mostly waits on the
    # serial lines, runs as fast.
    if sanitize_build "$1/asan" -O0 -DMQ6_SANITIZE=address,undefined -DMQ6_TEST_SUITES=; then
        ${SANITIZE_BEFORE_TESTS:-}
        sanitize_ctest "$1/asan" "AddressSanitizer+UBSan, all native tests" "$CTEST_JOBS"
    else
        sanitize_fail 1 "the ASan+UBSan build"
    fi
}

sanitize_tsan() {
    # Optimised: unoptimised it builds hardly faster, and ThreadSanitizer slows each thread already.
    local suites
    suites=$(IFS='|' && echo "${TSAN_SUITES[*]}")
    if sanitize_build "$1/tsan" -O1 -DMQ6_SANITIZE=thread "-DMQ6_TEST_SUITES=$suites"; then
        tsan_regex "$1/tsan/mq6_tests"
        sanitize_ctest "$1/tsan" "ThreadSanitizer, threaded suites" "$TSAN_CTEST_JOBS" "$TSAN_REGEX"
    else
        sanitize_fail 1 "the TSan build"
    fi
}

sanitize_fuzz() {
    if fuzz_build "$1/fuzz"; then
        fuzz_all "$1/fuzz" "$FUZZ_SECONDS" count
    else
        sanitize_fail 1 "the fuzz build"
    fi
}
