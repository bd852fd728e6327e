#!/bin/bash
# Remakes the audio samples that README.md links to (docs/samples/*.mp3),
# with the shipped default voice, so that anyone can hear what a change
# did to them.
#
#   scripts/make_samples.sh [BUILD]
#
# BUILD is a build folder (default: build) holding src/tolvaren_say and
# resources/conf/tool.conf. Needs sox with its MP3 format
# (libsox-fmt-mp3).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
say="$build/src/tolvaren_say"
conf="$build/resources/conf/tool.conf"
out="$root/docs/samples"
[ -x "$say" ] || { echo "no $say: build it first" >&2; exit 1; }
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$out"

# name<TAB>text, as README.md lists them.
while IFS=$'\t' read -r name text; do
  "$say" --conf "$conf" --voice default -o "$scratch/$name.wav" -- "$text"
  # 48 kbit/s: a few seconds of speech in well under 60 KB.
  sox "$scratch/$name.wav" -C 48 "$out/$name.mp3"
  echo "$out/$name.mp3: $(soxi -D "$out/$name.mp3") s, $(stat -c %s "$out/$name.mp3") bytes"
done <<'TEXTS'
coffee	您的咖啡好了，一共32.5元，请到3号窗口取餐。
meeting	明天下午3:30的会议还开吗？
train	各位旅客请注意，G102次列车即将到达上海虹桥站，请带好随身物品。
weather	今天最低气温-5℃，湿度60%，记得把WiFi密码发给我。
TEXTS
