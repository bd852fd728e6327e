#!/usr/bin/env bash
# Sets up what is missing (the runtime and build packages, third-party
# files, build, install) and speaks the given texts with the installed
# tolvaren_say into out/demo.wav in the clone (other tolvaren_say options
# may follow the texts).
#   scripts/run.sh '你好，世界！'
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
prefix="${TOLVAREN_PREFIX:-/opt/ros/humble}"
build="$root/build-release"

bash "$root/scripts/install_deps.sh" build >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DTOLVAREN_BUILD_TESTS=OFF \
  -DTOLVAREN_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >&2
cmake --install "$build" >/dev/null
# Put the tool on the PATH for non-ROS shells as well.
for tool in "$prefix"/bin/tolvaren_tts* "$prefix"/bin/tolvaren_say; do
  ln -sfn "$tool" "/usr/local/bin/$(basename "$tool")"
done
mkdir -p "$root/out"
"$prefix/bin/tolvaren_say" -o "$root/out/demo.wav" "$@"
echo "wrote $root/out/demo.wav" >&2
