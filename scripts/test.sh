#!/usr/bin/env bash
# Sets up what is missing, builds with warnings as errors, and runs the whole
# test suite: once in a normal build and once under AddressSanitizer and
# UndefinedBehaviorSanitizer (three fault suites run only there); then the
# thread tests under ThreadSanitizer (TOLVAREN_SKIP_TSAN=1 skips them), the
# fuzz targets and the arm64 build.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc)"

bash "$root/scripts/install_deps.sh" dev

# run_suite BUILD CMAKE_ARGS...: ctest_skip (ctest arguments) leaves tests out.
ctest_skip=()
run_suite() {
  local build="$1"
  shift
  cmake -S "$root" -B "$build" -DTOLVAREN_WERROR=ON "$@" >/dev/null
  cmake --build "$build" -j"$jobs"
  ctest --test-dir "$build" --output-on-failure -j"$jobs" "${ctest_skip[@]}"
}

# The voices with non-commercial terms are built here too, so that they
# stay tested; a default build leaves them out. The fault suites that run
# the same cases under the sanitizers below, where they also catch memory
# errors, are left out of this build then (those that measure memory or
# load the library into Python stay).
if [ "${TOLVAREN_SKIP_SANITIZERS:-0}" != "1" ]; then
  ctest_skip=(-E '^(say_faults|cache_faults|say_output_faults)$')
fi
run_suite "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVAREN_NONCOMMERCIAL_VOICES=ON
ctest_skip=()

# The library as its users get it: installed to a temporary prefix, the
# examples (and the ROS 2 node of docs/ros2.md, against stand-in ROS headers) built
# from that install tree with CMake and with pkg-config, and run once.
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$root/build" --prefix "$prefix" >/dev/null
# What ROS tools find the package by: the ament index marker and
# package.xml; the launch file only beside the node it starts; and the
# manual page.
for file in share/ament_index/resource_index/packages/tolvaren_tts \
    share/tolvaren_tts/package.xml share/man/man1/tolvaren_say.1; do
  [ -f "$prefix/$file" ] || { echo "the install tree lacks $file" >&2; exit 1; }
done
launch="$prefix/share/tolvaren_tts/launch/tolvaren_tts.launch.py"
if [ -x "$prefix/lib/tolvaren_tts/tolvaren_tts_node" ] && [ ! -f "$launch" ]; then
  echo "the install tree has the node but not its launch file" >&2
  exit 1
elif [ ! -x "$prefix/lib/tolvaren_tts/tolvaren_tts_node" ] && [ -e "$launch" ]; then
  echo "the install tree has a launch file for a node it lacks" >&2
  exit 1
fi
# A build configured as users configure it ships only the voices anyone
# may ship: the non-commercial ones stay out.
cmake -S "$root" -B "$prefix/default-config" -DTOLVAREN_BUILD_TESTS=OFF \
  -DTOLVAREN_BUILD_BENCHMARKS=OFF >/dev/null
if grep -q '^TOLVAREN_SHIPPED_VOICES:INTERNAL=.*diphone' "$prefix/default-config/CMakeCache.txt"; then
  echo "a default build would install the diphone voice" >&2
  exit 1
fi
cmake -S "$root/examples" -B "$prefix/examples-build" \
  -DCMAKE_PREFIX_PATH="$prefix" -DTOLVAREN_ROS_STUB_DIR="$root/tests/ros2_stub" >/dev/null
cmake --build "$prefix/examples-build" -j"$jobs"
# shellcheck disable=SC2046
c++ -std=c++17 -Wall -Wextra -Werror "$root/examples/speak.cc" -o "$prefix/speak_pc" \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs tolvaren_tts)
for speak in "$prefix/examples-build/speak" "$prefix/speak_pc"; do
  SPDLOG_STDOUT=false TOLVAREN_TTS_CONF="$root/build/resources/conf/tool.conf" \
    "$speak" '你好，世界！'
done
if [ "${TOLVAREN_SKIP_SANITIZERS:-0}" != "1" ]; then
  # At -O1: the fault suites start the tools hundreds of times, and the
  # front end's tables load much faster than unoptimised.
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$root/tests/lsan_suppressions.txt" \
    run_suite "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DTOLVAREN_SANITIZE=ON \
    "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1" "-DCMAKE_C_FLAGS_DEBUG=-g -O1" \
    -DTOLVAREN_BUILD_BENCHMARKS=OFF
fi

# Threads under ThreadSanitizer, in a build of its own: two synthesizers on
# two threads, and the library's tests (the whole suite under it takes far
# longer than the rest of this script). ONNX Runtime is not instrumented:
# reports from inside it are suppressed (tests/tsan_suppressions.txt), no
# others; any report fails the test.
if [ "${TOLVAREN_SKIP_TSAN:-0}" != "1" ]; then
  tsan_tests=(synthesizer_threads_test synthesizer_test c_api_lifetime_test)
  cmake -S "$root" -B "$root/build-tsan" -DTOLVAREN_WERROR=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVAREN_TSAN=ON \
    -DTOLVAREN_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build "$root/build-tsan" -j"$jobs" --target "${tsan_tests[@]}"
  TSAN_OPTIONS="suppressions=$root/tests/tsan_suppressions.txt" \
    ctest --test-dir "$root/build-tsan" --output-on-failure \
    -R "^($(IFS='|'; echo "${tsan_tests[*]}"))\$"
fi

# A short run of every fuzz target (clang, ASan + UBSan) from the committed
# seed corpora, TOLVAREN_FUZZ_SECONDS each; a crash fails the suite.
if [ "${TOLVAREN_SKIP_FUZZ:-0}" != "1" ]; then
  # One target per core at a time.
  TOLVAREN_DEPS_READY=1 TOLVAREN_FUZZ_PARALLEL="${TOLVAREN_FUZZ_PARALLEL:-$jobs}" \
    bash "$root/scripts/fuzz.sh" --all "${TOLVAREN_FUZZ_SECONDS:-30}"
fi

# The same build for arm64 (cross-built, run under user-mode emulation):
# the whole ctest again (scripts/arm64.sh) but the fault suites, which attack
# files, folders and processes the same way on every machine and ran twice
# above; under emulation they took a quarter of the suite's time.
# TOLVAREN_ARM64_FAULTS=1 runs them there too.
if [ "${TOLVAREN_SKIP_ARM64:-0}" != "1" ]; then
  arm64_skip=(-LE faults)
  [ "${TOLVAREN_ARM64_FAULTS:-0}" = "1" ] && arm64_skip=()
  TOLVAREN_DEPS_READY=1 bash "$root/scripts/arm64.sh" --test "${arm64_skip[@]}"
fi
