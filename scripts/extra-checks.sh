#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks beyond the ordinary test run, each in a build folder of its own so the ordinary build is never
# disturbed:
#   asan    the whole suite built with AddressSanitizer + UndefinedBehaviorSanitizer (build-asan);
#   locks   the program built with clang's -Wthread-safety -Werror: every GUARDED_BY member touched
#           only under its CMutex (build-locks, compiled only);
#   tsan    the Qt-free threads (the parallel walk, the copy batch's releaser and flush, the time
#           finishing) under ThreadSanitizer: engine_tests and reliability_tests (build-tsan);
#   tsan-qt run_tests and windows_tests under ThreadSanitizer, only with TANDREL_TSAN_FORCE=1 (build-tsan-qt);
#   fuzz    each libFuzzer target for FUZZ_SECONDS (default 30) from its seed corpus (build-fuzz, clang);
#   slow    the tests labelled "slow" (a million files per tree) in the ordinary build folder.
# Usage: scripts/extra-checks.sh [asan] [locks] [tsan] [tsan-qt] [fuzz] [slow]    (all when none is named)
# Fails on any sanitizer report (also from the program the tests start), fuzzer finding or failed test.
# Builds take the shared build lock, so they never compete with other builds for the two cores.
set -eu
cd "$(dirname "$0")/.."
# The program's libraries compile as one unit each, as in the release build: a third of the processor
# time or less. The sanitizers and clang's lock analysis check each function alike either way, and the
# ordinary build (one unit a file, warnings as errors) still checks that every file includes what it uses.
UNITY="-DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=0"
ROOT=$(pwd)
LOCK=/tmp/tandrel-build.lock
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
STEPS=${*:-asan locks tsan tsan-qt fuzz slow}
FAILED=""

say() { printf '\n=== %s\n' "$*"; }
fail() { printf 'extra-checks: %s\n' "$*" >&2; FAILED="$FAILED $1"; }
build() { flock "$LOCK" cmake --build "$@"; }

# Reports go to files as well as to standard error: a report in a child process whose exit status a test
# does not look at would otherwise pass unseen.
check_reports() {
    step=$1
    dir=$2
    if ls "$dir"/report.* >/dev/null 2>&1; then
        for f in "$dir"/report.*; do
            printf -- '--- %s\n' "$f"
            head -60 "$f"
        done
        fail "$step" "sanitizer reports in $dir"
    fi
}

run_asan() {
    say "AddressSanitizer + UBSan: configure and build build-asan"
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTANDREL_SANITIZE=ON -DTANDREL_WERROR=OFF \
        $UNITY >/dev/null
    build build-asan -- -j2
    reports=$(mktemp -d /tmp/tandrel-asan-XXXXXX)
    chmod 0777 "$reports"  # cases run as an ordinary user write their reports here too
    say "AddressSanitizer + UBSan: whole suite (packaging, media and slow tests excluded)"
    # detect_leaks: Qt keeps a few objects until exit on purpose; tests/lsan.supp names them.
    if ! (cd build-asan &&
        ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:log_path=$reports/report" \
        LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0" \
        UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/report" \
        ctest --output-on-failure --timeout 300 -j2 -E '^Packaging\.' -LE 'slow|media'); then
        fail asan "tests failed under AddressSanitizer"
    fi
    check_reports asan "$reports"
    rm -rf "$reports"
}

run_locks() {
    say "lock annotations: clang -Wthread-safety -Werror, build build-locks (tandrel, no tests)"
    cmake -S . -B build-locks -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTANDREL_WERROR=ON -DTANDREL_BUILD_TESTS=OFF \
        -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="-Wthread-safety" $UNITY >/dev/null
    if ! build build-locks -- -j2 tandrel; then
        fail locks "the program does not build under -Wthread-safety -Werror"
    fi
}

run_tsan() {
    # Only the engine's and the reliability tests: their threads meet through our own CMutex and
    # std::thread, which ThreadSanitizer sees. The program the reliability tests start is the ordinary
    # build's: its threads hand over through Qt (see run_tsan_qt).
    say "ThreadSanitizer: configure and build build-tsan (engine_tests, reliability_tests)"
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTANDREL_WERROR=OFF \
        -DTANDREL_TESTS_BUILD_PROGRAM=OFF \
        -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer -O1" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
    build build-tsan -- -j2 engine_tests reliability_tests
    scripts/b tandrel
    reports=$(mktemp -d /tmp/tandrel-tsan-XXXXXX)
    chmod 0777 "$reports"  # cases run as an ordinary user write their reports here too
    say "ThreadSanitizer: engine_tests, reliability_tests"
    # Left out: cases that count open files over tens of thousands of folders or items. Their threads
    # are those of the cases that run, and under ThreadSanitizer they take minutes each.
    skip="-FolderWalk.TreeFarDeeperThanTheStackIsWalkedWithFewOpenFiles:CopyBatch.ALongRunStaysWithinFewOpenFiles"
    for t in build-tsan/tests/engine/engine_tests build-tsan/tests/reliability/reliability_tests; do
        if ! LC_ALL=C.UTF-8 TANDREL_BINARY="$ROOT/build/tandrel" \
            TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:log_path=$reports/report" \
            timeout 900 "$t" --gtest_brief=1 --gtest_filter="$skip"; then
            fail tsan "$t failed under ThreadSanitizer"
        fi
    done
    check_reports tsan "$reports"
    rm -rf "$reports"
}

run_tsan_qt() {
    # The distribution's Qt is not built with ThreadSanitizer: every hand-over between our threads goes
    # through Qt (blocking queued calls, queued events, QThread start and finish), whose futex-based locks
    # it cannot see, so each one is reported as a race (about 100 reports in run_tests and windows_tests,
    # all of that kind). Suppressing them would hide exactly the races the run is for. tests/tsan.supp
    # says more. TANDREL_TSAN_FORCE=1 runs it anyway, e.g. against a Qt built with -fsanitize=thread.
    if [ "${TANDREL_TSAN_FORCE:-}" != 1 ]; then
        say "ThreadSanitizer: skipped, the distribution's Qt hides its thread hand-overs from it (see tests/tsan.supp)"
        return
    fi
    say "ThreadSanitizer: configure and build build-tsan-qt (run_tests, windows_tests)"
    cmake -S . -B build-tsan-qt -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTANDREL_WERROR=OFF \
        -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer -O1" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
    build build-tsan-qt -- -j2 run_tests windows_tests
    reports=$(mktemp -d /tmp/tandrel-tsan-XXXXXX)
    say "ThreadSanitizer: run_tests, windows_tests"
    # Qt from the distribution is not built with ThreadSanitizer: tests/tsan.supp says what that hides.
    for t in build-tsan-qt/tests/run/run_tests build-tsan-qt/tests/ui/windows_tests; do
        if ! QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 \
            TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/tests/tsan.supp:log_path=$reports/report" \
            timeout 600 "$t" --gtest_brief=1; then
            fail tsan-qt "$t failed under ThreadSanitizer"
        fi
    done
    check_reports tsan-qt "$reports"
    rm -rf "$reports"
}

run_fuzz() {
    if ! command -v clang++ >/dev/null 2>&1; then
        say "fuzz: skipped, clang++ is not installed (apt-get install clang libclang-rt-dev)"
        return
    fi
    say "fuzz: configure and build build-fuzz (clang, libFuzzer + ASan + UBSan)"
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTANDREL_WERROR=OFF -DTANDREL_FUZZ=ON \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -O1" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" $UNITY >/dev/null
    build build-fuzz -- -j2 fuzz_profile_file fuzz_command_line fuzz_ignore_rule
    for target in profile_file command_line ignore_rule; do
        say "fuzz: $target for ${FUZZ_SECONDS}s"
        scratch=$(mktemp -d /tmp/tandrel-fuzz-XXXXXX)
        # New inputs go to the scratch folder; the seed corpus in the repository is only read.
        if ! (cd "$scratch" &&
            ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
            "$ROOT/build-fuzz/tests/fuzz/fuzz_$target" -max_total_time="$FUZZ_SECONDS" -max_len=4096 \
                -print_final_stats=1 -artifact_prefix="$scratch/" "$scratch" "$ROOT/tests/fuzz/corpus/$target" \
                2>"$scratch/fuzz.log"); then
            tail -40 "$scratch/fuzz.log"
            echo "The input that failed is kept in $scratch (crash-*): add it to tests/fuzz/corpus/$target/."
            fail fuzz "fuzz_$target found a fault"
            continue
        fi
        grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$scratch/fuzz.log" || true
        rm -rf "$scratch"
    done
}

run_slow() {
    say "slow tests (label \"slow\") in the ordinary build folder"
    scripts/b reliability_scale_tests
    if ! (cd build && ctest --output-on-failure --timeout 600 -L slow); then
        fail slow "slow tests failed"
    fi
}

for step in $STEPS; do
    case $step in
        asan) run_asan ;;
        locks) run_locks ;;
        tsan) run_tsan ;;
        tsan-qt) run_tsan_qt ;;
        fuzz) run_fuzz ;;
        slow) run_slow ;;
        *) echo "unknown step: $step (asan, locks, tsan, tsan-qt, fuzz, slow)" >&2; exit 2 ;;
    esac
done

if [ -n "$FAILED" ]; then
    say "FAILED:$FAILED"
    exit 1
fi
say "all extra checks passed: $STEPS"
