#!/usr/bin/env bash
# The whole test suite: formatting, the 32-bit core leg, the ThreadSanitizer leg, the fuzzers
# for a bounded time, the Windows leg (MinGW-w64 builds, tests under wine64), live sound through
# a private PulseAudio server (release build: it is about timing, which the sanitizers distort),
# and last the main suite under ASan and UBSan (its ctest summary closes the run).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
step() { printf '\n==== %s\n' "$*"; }

step "dependencies"
scripts/install-deps.sh test

step "formatting"
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run -Werror

step "core and unit tests with 32-bit pointers (-m32)"
cmake --preset m32 >/dev/null
cmake --build --preset m32 -j "$jobs"
ctest --preset m32 -j "$jobs" --timeout 300

step "concurrency tests under ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target stress_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp" ctest --preset tsan --timeout 300

step "fuzzers (bounded runs)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
scripts/run-fuzzers.sh build/fuzz "${KSND_FUZZ_SECONDS:-45}"

step "Windows: both DLLs and ksfx.exe with MinGW-w64, their export and import checks, tests under wine64"
KSND_JOBS="$jobs" scripts/windows-tests.sh

step "live sound through a PulseAudio null sink (release build)"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target live_sound
ctest --test-dir build/release -L live --output-on-failure --timeout 300

step "main suite under ASan and UBSan"
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
ctest --preset dev -j "$jobs" -LE live --timeout 600
