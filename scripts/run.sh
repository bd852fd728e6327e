#!/usr/bin/env bash
# Sets up what is missing (the runtime and build packages, third-party
# files, build, install) and speaks the given texts with the installed
# tolvaren_say into out/demo.wav in the clone (other tolvaren_say options
# may follow the texts).
#   scripts/run.sh '你好，世界！'
# Installs where CMake's default puts it: beside ROS 2 in a sourced ROS
# shell, else /usr/local; TOLVAREN_PREFIX picks another prefix.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-release"
prefix_option=()
if [ -n "${TOLVAREN_PREFIX:-}" ]; then
  prefix_option=(-DCMAKE_INSTALL_PREFIX="$TOLVAREN_PREFIX")
fi

bash "$root/scripts/install_deps.sh" build >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  "${prefix_option[@]}" -DTOLVAREN_BUILD_TESTS=OFF \
  -DTOLVAREN_BUILD_BENCHMARKS=OFF >/dev/null
prefix="$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")"
cmake --build "$build" -j"$(nproc)" >&2
cmake --install "$build" >/dev/null
echo "installed under $prefix" >&2
# Put the tools on the PATH when they are installed elsewhere.
if [ "$prefix/bin" != /usr/local/bin ]; then
  for tool in "$prefix"/bin/tolvaren_tts* "$prefix"/bin/tolvaren_say; do
    ln -sfn "$tool" "/usr/local/bin/$(basename "$tool")"
  done
fi
mkdir -p "$root/out"
"$prefix/bin/tolvaren_say" -o "$root/out/demo.wav" "$@"
echo "wrote $root/out/demo.wav" >&2
