#!/usr/bin/env bash
# Where a fresh configure installs, and that the tool's compiled-in
# configuration path follows it: /usr/local without ROS, TOLVAREN_PREFIX when
# set, ROS's own prefix where ament_cmake is found (a stand-in package here),
# an explicit CMAKE_INSTALL_PREFIX over all. Without the node, no launch file
# is installed.
#   install_prefix_test.sh SOURCE_ROOT THIRD_PARTY_DIR
set -euo pipefail
src="$1" third_party="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ros/share/ament_cmake/cmake"
echo 'macro(ament_package)
endmacro()' >"$work/ros/share/ament_cmake/cmake/ament_cmakeConfig.cmake"

builds=0
# Configures a fresh folder with environment $2 and options $3...; fails
# unless it installs under $1.
expect_prefix() {
  local want="$1" environment="$2" build="$work/build$((++builds))"
  shift 2
  # shellcheck disable=SC2086  # one VAR=value, or none
  env -u TOLVAREN_PREFIX $environment cmake -S "$src" -B "$build" \
    -DTOLVAREN_BUILD_TESTS=OFF -DTOLVAREN_BUILD_BENCHMARKS=OFF \
    -DTOLVAREN_THIRD_PARTY_DIR="$third_party" "$@" >"$work/log" 2>&1 ||
    { cat "$work/log" >&2; exit 1; }
  local got conf
  got="$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")"
  conf="$(grep -ho 'TOLVAREN_CONF_PATH=[^ ]*' \
    "$build"/src/tool/conf/CMakeFiles/*/flags.make)"
  if [ "$got" != "$want" ] ||
    [ "$conf" != "TOLVAREN_CONF_PATH=\\\"$want/share/tolvaren_tts/resources/conf/tool.conf\\\"" ]; then
    echo "${environment:-no environment} $*: prefix $got, $conf; want $want" >&2
    exit 1
  fi
  if [ ! -f "$build/src/ros/CMakeFiles/tolvaren_tts_node.dir/build.make" ] &&
    grep -rq --include=cmake_install.cmake 'tolvaren_tts/launch' "$build"; then
    echo "the launch file is installed without the node" >&2
    exit 1
  fi
}

expect_prefix /usr/local ""
expect_prefix "$work/mine" "TOLVAREN_PREFIX=$work/mine"
expect_prefix "$work/ros" "CMAKE_PREFIX_PATH=$work/ros"
expect_prefix "$work/given" "TOLVAREN_PREFIX=$work/mine" \
  -DCMAKE_INSTALL_PREFIX="$work/given"
