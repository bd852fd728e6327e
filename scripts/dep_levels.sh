# shellcheck shell=bash
# The Debian packages of each install level (sourced by install_deps.sh and
# install_sizes.sh). Each level adds to the one before.

# The shared libraries the installed executables, the library and the node
# link (ldd, then dpkg -S); ONNX Runtime is
# installed with the package itself.
runtime_packages=(
  libspdlog1.10 libfmt9 libabsl20220623 libpcre2-32-0 libopencc1.1
  libsamplerate0 libsystemd0 libexpat1 libpulse0
)
# Compilers, headers, and what the build runs: node generates the
# pronunciation resources (npm fetches their sources), patch applies the
# committed patches to them, help2man writes tolvaren_say's manual page.
build_packages=(
  cmake g++ make pkg-config patch nodejs npm help2man
  libspdlog-dev libfmt-dev libsystemd-dev libabsl-dev libpcre2-dev
  libopencc-dev libsamplerate0-dev libexpat1-dev libeigen3-dev libpulse-dev
)
# Tests (gtest, libsndfile to read WAV files back, the test models made with python3-onnx and numpy, sox),
# benchmarks and their prose corpus (the Chinese documentation packages),
# sanitizers and fuzzing (clang and its runtime), the voice recipe (torch,
# scipy, matplotlib, espeak-ng, praat to reshape the teacher's pitch and to
# measure voices), its corpus text (fortunes-zh) and the MP3 reader sox needs
# for the recorded corpus (libsox-fmt-mp3); a sound server and its tools
# for the playback test (pulseaudio, pulseaudio-utils).
dev_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev libsndfile1-dev sox
  python3-onnx python3-numpy
  manpages-zh debian-reference-zh-cn fortunes-zh
  clang libclang-rt-14-dev
  espeak-ng libespeak-ng1 python3-torch python3-scipy python3-matplotlib
  libopenblas0-pthread praat libsox-fmt-mp3 pulseaudio pulseaudio-utils
)

# Prints the packages of level $1, one a line; fails for an unknown level.
packages_of() {
  case "$1" in
    runtime) printf '%s\n' "${runtime_packages[@]}" ;;
    build) packages_of runtime && printf '%s\n' "${build_packages[@]}" ;;
    dev) packages_of build && printf '%s\n' "${dev_packages[@]}" ;;
    *) return 1 ;;
  esac
}
