#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing) and
# fetches the pinned third-party files. Network work happens only when
# something is missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(
  cmake g++ make pkg-config patch
  libspdlog-dev libfmt-dev libsystemd-dev libabsl-dev libpcre2-dev
  libopencc-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libsamplerate0-dev sox
  manpages-zh debian-reference-zh-cn
  python3-onnx python3-numpy
  clang libclang-rt-14-dev
  espeak-ng libespeak-ng1 python3-torch python3-scipy python3-matplotlib
  libopenblas0-pthread fortunes-zh
)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null |
      grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if ! command -v npm >/dev/null 2>&1 || ! command -v node >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi
if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing Debian packages: ${missing[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

bash "$root/scripts/fetch_third_party.sh"
