#!/usr/bin/env bash
# The configure step's third-party check (cmake/TolvarenThirdParty.cmake),
# offline: an `npm` on the PATH that fails stands for a registry out of
# reach and records that a fetch was tried.
#   third_party_fetch_test.sh SOURCE_ROOT FETCHED_THIRD_PARTY_DIR ARCH
set -euo pipefail
src="$1" fetched="$2" arch="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
printf '#!/bin/sh\ntouch "%s/npm-called"\nexit 1\n' "$work" >"$work/bin/npm"
chmod +x "$work/bin/npm"
# shellcheck disable=SC2016  # ${DIR} is CMake's
printf 'include("%s/cmake/TolvarenThirdParty.cmake")\ntolvaren_require_third_party("${DIR}" "%s")\n' \
  "$src" "$arch" >"$work/require.cmake"

# Runs the check on folder $1 with fetching $2 (ON/OFF); its output, CMake's
# wrapping undone, in $work/log.
check() {
  rm -f "$work/npm-called"
  local rc=0
  PATH="$work/bin:$PATH" cmake -DDIR="$1" -DTOLVAREN_FETCH_THIRD_PARTY="$2" \
    -P "$work/require.cmake" >"$work/raw" 2>&1 || rc=$?
  tr -s ' \n' ' ' <"$work/raw" >"$work/log"
  return "$rc"
}
fail() {
  echo "$1" >&2
  cat "$work/log" >&2
  exit 1
}

# Fetched packages without the build's layout (a fresh copy): laid out
# without the network.
mkdir "$work/laid-out"
for stamp in "$fetched"/*/.fetched-*; do
  ln -s "$(dirname "$stamp")" "$work/laid-out/$(basename "$(dirname "$stamp")")"
done
check "$work/laid-out" ON || fail "a fetched folder was not laid out"
[ ! -e "$work/npm-called" ] || fail "npm ran although every package was there"
for file in cppjieba/include/cppjieba/Jieba.hpp \
    "onnxruntime-lib-1.29.0-$arch/libonnxruntime.so.1"; do
  [ -f "$work/laid-out/$file" ] || fail "the layout lacks $file"
done
check "$work/laid-out" OFF || fail "a complete folder failed the check"

# A package whose pin changed (its stamp is another checksum's) is fetched.
rm "$work/laid-out/pinyin"
mkdir -p "$work/laid-out/pinyin"
touch "$work/laid-out/pinyin/.fetched-0000000000000000000000000000000000000000"
! check "$work/laid-out" ON || fail "a package of another pin passed"
[ -e "$work/npm-called" ] || fail "a package of another pin was not fetched"

# Nothing there: the fetch is tried, and its failure says what to run.
mkdir "$work/empty"
! check "$work/empty" ON || fail "an empty folder passed"
[ -e "$work/npm-called" ] || fail "an empty folder was not fetched"
grep -q "run scripts/fetch_third_party.sh $arch" "$work/log" ||
  fail "a failed fetch does not say what to run"
# Fetching off: the same advice, and no fetch.
! check "$work/empty" OFF || fail "an empty folder passed with fetching off"
[ ! -e "$work/npm-called" ] || fail "npm ran with fetching off"
grep -q "is missing: run scripts/fetch_third_party.sh $arch" "$work/log" ||
  fail "a missing file with fetching off does not say what to run"
