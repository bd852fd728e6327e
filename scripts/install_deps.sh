#!/usr/bin/env bash
# Installs the Debian packages of one level (only those missing) and, for
# the levels that build, fetches the pinned third-party files. Network work
# happens only when something is missing.
#   scripts/install_deps.sh [runtime|build|dev]    (default: dev)
# runtime  what the installed tolvaren_say, tolvaren_tts, the library and the
#          node need to run: the shared libraries they link
# build    runtime + compilers, CMake, headers, Node.js and npm: what
#          scripts/run.sh's build (no tests, no benchmarks) runs
# dev      build + the tests, benchmarks, sanitizers and fuzzing, the voice
#          and polyphone training, the corpora: what scripts/test.sh runs
# scripts/install_sizes.sh prints what each level weighs.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
level="${1:-dev}"

# One table that the installer and scripts/install_sizes.sh both read.
# shellcheck source=scripts/dep_levels.sh
source "$root/scripts/dep_levels.sh"
if ! packages_of "$level" >/dev/null; then
  echo "unknown level '$level': runtime, build or dev" >&2
  exit 2
fi
mapfile -t packages < <(packages_of "$level")

# A node and npm on the PATH do, wherever they come from.
has_node=0
if command -v npm >/dev/null 2>&1 && command -v node >/dev/null 2>&1; then
  has_node=1
fi
missing=()
for package in "${packages[@]}"; do
  case "$package" in nodejs | npm) [ "$has_node" = 1 ] && continue ;; esac
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null |
      grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing Debian packages ($level): ${missing[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

if [ "$level" != runtime ]; then
  bash "$root/scripts/fetch_third_party.sh"
fi
