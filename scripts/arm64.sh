#!/usr/bin/env bash
# Cross-builds everything for 64-bit Arm Linux (Jetson, Raspberry Pi 4/5) in
# build-arm64/ and runs it here under user-mode emulation.
#   scripts/arm64.sh          build, then speak one text with the arm64
#                             tolvaren_say and check it against this machine's
#   scripts/arm64.sh --test [CTEST_ARG...]
#                             build, then run the whole test suite (ctest,
#                             with the arguments given, e.g. -LE faults)
#   scripts/arm64.sh --run CMD [ARG...]
#                             build, then run CMD where arm64 programs run
#                             (--run bash: a shell)
# The install prefix is /usr/local unless TOLVAREN_PREFIX names another.
# Sets up what is missing: Debian's cross compiler, emulator and mmdebstrap,
# an arm64 Debian tree with the libraries we link (build-arm64/sysroot, no
# foreign architecture added to this machine's dpkg), the arm64 ONNX Runtime.
#
# The emulated programs run in a user and mount namespace of their own, so
# nothing on this machine changes:
# - an arm64 /proc/cpuinfo is bound over the host's: ONNX Runtime's CPU
#   detection crashes on an x86 one;
# - the namespace's own binfmt_misc hands every arm64 executable to qemu, so
#   programs the tests start (the tools, from python) run too;
# - every uid and gid of the caller is mapped, so tests may change user;
# - QEMU_CPU=cortex-a72 (the Raspberry Pi 4's core): qemu's default core has
#   SVE, which ONNX Runtime uses and qemu emulates several times slower.
# Needs a kernel that gives a user namespace its own binfmt_misc (6.7 or
# later) and user namespaces allowed; without them it stops with an error.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TOLVAREN_ARM64_BUILD:-$root/build-arm64}"
sysroot="$build/sysroot"
jobs="$(nproc)"
mode="${1:-}"
case "$mode" in
  "" | --test) ;;
  --run) [ "$#" -gt 1 ] || mode=bad ;;
  *) mode=bad ;;
esac
if [ "$mode" = bad ]; then
  echo "usage: scripts/arm64.sh [--test | --run CMD [ARG...]]" >&2
  exit 2
fi

# The libraries we link (their dependencies come with them).
sysroot_packages=(
  libspdlog-dev libfmt-dev libabsl-dev libpcre2-dev libopencc-dev
  libsystemd-dev libsndfile1-dev libsamplerate0-dev libexpat1-dev
  libgtest-dev libgmock-dev libbenchmark-dev libeigen3-dev
)
mirrors=(
  "deb http://deb.debian.org/debian bookworm main"
  "deb http://deb.debian.org/debian bookworm-updates main"
  "deb http://deb.debian.org/debian-security bookworm-security main"
)

set_up() {
  if [ "${TOLVAREN_DEPS_READY:-0}" != "1" ]; then
    bash "$root/scripts/install_deps.sh" dev
  fi
  local tools=(g++-aarch64-linux-gnu qemu-user-static mmdebstrap) missing=() tool
  for tool in "${tools[@]}"; do
    dpkg-query -W -f='${Status}' "$tool" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$tool")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "installing Debian packages: ${missing[*]}" >&2
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
  fi
  bash "$root/scripts/fetch_third_party.sh" arm64

  # The tree is made again when the package list changes.
  local stamp
  stamp="$sysroot/.made-$(printf '%s\n' "${sysroot_packages[@]}" "${mirrors[@]}" |
    sha1sum | cut -c1-12)"
  if [ ! -f "$stamp" ]; then
    echo "making the arm64 Debian tree in $sysroot" >&2
    rm -rf "$sysroot"
    mkdir -p "$build"
    local include
    include="$(IFS=,; echo "${sysroot_packages[*]}")"
    mmdebstrap --quiet --variant=extract --architectures=arm64 --include="$include" \
      bookworm "$sysroot" "${mirrors[@]}"
    touch "$stamp"
  fi
}

cross_build() {
  local launcher=()
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake" \
    -DTOLVAREN_SYSROOT="$sysroot" -DTOLVAREN_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_INSTALL_PREFIX="${TOLVAREN_PREFIX:-/usr/local}" "${launcher[@]}" >/dev/null
  cmake --build "$build" -j"$jobs"
}

# An arm64 /proc/cpuinfo with this machine's number of processors.
write_cpuinfo() {
  local cpu
  for ((cpu = 0; cpu < $(nproc --all); cpu++)); do
    printf 'processor\t: %d\nBogoMIPS\t: 108.00\nFeatures\t: fp asimd evtstrm crc32 cpuid\n' "$cpu"
    printf 'CPU implementer\t: 0x41\nCPU architecture: 8\nCPU variant\t: 0x0\n'
    printf 'CPU part\t: 0xd08\nCPU revision\t: 3\n\n'
  done >"$build/cpuinfo"
}

# Runs a command in a fresh user and mount namespace set up for arm64
# programs (see the top of this file).
emulated() {
  write_cpuinfo
  local talk
  talk="$(mktemp -d)"
  mkfifo -m 600 "$talk/pid" "$talk/go"
  map_ids "$talk" &
  local mapper=$! status=0
  # shellcheck disable=SC2016
  local inner='echo $$ >"$1/pid"
    read -r answer <"$1/go"
    [ "$answer" = go ] || exit 1
    mount --bind "$2/cpuinfo" /proc/cpuinfo
    mkdir -p "$2/binfmt_misc"
    mount -t binfmt_misc binfmt_misc "$2/binfmt_misc" || {
      echo "arm64: this kernel gives a user namespace no binfmt_misc of its own" \
        "(Linux 6.7 and later do); TOLVAREN_SKIP_ARM64=1 skips the arm64 suite" >&2
      exit 1
    }
    printf "%s" ":aarch64:M::\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$(command -v qemu-aarch64-static):F" \
      >"$2/binfmt_misc/register"
    shift 2
    exec "$@"'
  unshare --user --mount --propagation private \
    env QEMU_CPU=cortex-a72 QEMU_LD_PREFIX="$sysroot" \
    bash -euc "$inner" emulated "$talk" "$build" "$@" || status=$?
  # A mapper that was never named a process means no namespace was made.
  if [ ! -e "$talk/named" ]; then
    echo "arm64: cannot make a user namespace (user namespaces disabled?);" \
      "TOLVAREN_SKIP_ARM64=1 skips the arm64 suite" >&2
  fi
  kill "$mapper" 2>/dev/null || true
  wait "$mapper" 2>/dev/null || true
  rm -rf "$talk"
  return "$status"
}

# Maps the caller's own uids and gids, each as itself, into the namespace
# whose first process names itself in TALK/pid, then lets it go on.
map_ids() {
  local talk="$1" pid answer=go
  read -r pid <"$talk/pid"
  touch "$talk/named"
  if ! awk '{print $1, $1, $3}' /proc/self/uid_map >"/proc/$pid/uid_map" ||
      ! awk '{print $1, $1, $3}' /proc/self/gid_map >"/proc/$pid/gid_map"; then
    echo "arm64: cannot map this machine's uids and gids into the namespace;" \
      "TOLVAREN_SKIP_ARM64=1 skips the arm64 suite" >&2
    answer=no
  fi
  echo "$answer" >"$talk/go"
}

# Says one text with the arm64 tolvaren_say and with this machine's, checks
# that both WAVs hold the same number of samples and tells how far apart the
# samples are (the two machines' floating point differs in the last bits).
speak_and_compare() {
  local native="$root/build"
  if [ ! -x "$native/src/tolvaren_say" ]; then
    cmake -S "$root" -B "$native" -DTOLVAREN_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  # The command and what it reads: its configuration, dictionaries, models.
  cmake --build "$native" -j"$jobs" --target tolvaren_say resources models >/dev/null
  local text='你好，世界！今天是二〇二六年十二月九日。'
  local out="$build/speak"
  mkdir -p "$out"
  TOLVAREN_TTS_CONF="$native/resources/conf/tool.conf" \
    "$native/src/tolvaren_say" "$text" -o "$out/native.wav"
  TOLVAREN_TTS_CONF="$build/resources/conf/tool.conf" \
    emulated "$build/src/tolvaren_say" "$text" -o "$out/arm64.wav"
  /usr/bin/python3 - "$out/native.wav" "$out/arm64.wav" <<'EOF'
import sys
import wave

import numpy as np


def samples(path):
    with wave.open(path) as w:
        return np.frombuffer(w.readframes(w.getnframes()), "<i2").astype(np.int64)


native, arm64 = (samples(path) for path in sys.argv[1:3])
if len(native) != len(arm64):
    sys.exit(f"arm64: {sys.argv[2]} has {len(arm64)} samples, "
             f"the native one {len(native)}")
difference = np.abs(native - arm64)
print(f"arm64: tolvaren_say spoke under emulation, {len(arm64)} samples as "
      f"natively; the largest difference from the native samples is "
      f"{difference.max()} of 32767, {np.count_nonzero(difference)} differ")
EOF
}

set_up
cross_build
case "$mode" in
  --test) emulated ctest --test-dir "$build" --output-on-failure -j"$jobs" "${@:2}" ;;
  --run) emulated "${@:2}" ;;
  *) speak_and_compare ;;
esac
