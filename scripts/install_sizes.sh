#!/usr/bin/env bash
# Prints what each install level of scripts/install_deps.sh adds to a
# minimal Debian 12: apt's own plan (Recommends included, as install_deps.sh
# installs them) for a machine that holds only the Essential and required
# packages, apt and what they depend on, simulated against this machine's
# package lists. Nothing is installed or removed.
#   scripts/install_sizes.sh [--list]    (--list: also the packages)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/dep_levels.sh
source "$root/scripts/dep_levels.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The minimal system: its installed packages' stanzas, as a dpkg status.
awk -v RS= '/\nStatus: install ok installed/ &&
  (/\nEssential: yes/ || /\nPriority: required/ || /^Package: apt\n/) {
    sub(/\n.*/, ""); sub(/^Package: /, ""); print }' \
  /var/lib/dpkg/status >"$work/roots"
mapfile -t roots <"$work/roots"
apt-cache depends --installed --recurse --no-recommends --no-suggests \
  --no-conflicts --no-breaks --no-replaces --no-enhances "${roots[@]}" |
  grep -v '^[ <]' | sort -u >"$work/base"
awk 'NR == FNR { base[$1]; next }
  { name = $0; sub(/\n.*/, "", name); sub(/^Package: /, "", name)
    if ((name in base) && /\nStatus: install ok installed/) print $0 "\n" }' \
  "$work/base" RS= /var/lib/dpkg/status >"$work/status"
echo "base: $(wc -l <"$work/base") packages (Essential, required, apt and their dependencies)"

for level in runtime build dev; do
  mapfile -t packages < <(packages_of "$level")
  # New packages only ("Inst NAME (VERSION ..."), not upgrades of the base.
  apt-get install --simulate -qq -o Dir::State::status="$work/status" \
    "${packages[@]}" | awk '/^Inst / && $3 ~ /^\(/ {print $2 "=" substr($3, 2)}' \
    >"$work/$level"
  mapfile -t installed <"$work/$level"
  apt-cache show "${installed[@]}" | awk -v level="$level" -v count="${#installed[@]}" \
    '/^Installed-Size:/ { kib += $2 }
     END { printf "%-8s %5d packages %8.1f MiB installed\n", level, count, kib / 1024 }'
  if [ "${1:-}" = --list ]; then sed 's/=.*//' "$work/$level" | paste -sd' '; fi
done
