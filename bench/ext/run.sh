#!/usr/bin/env bash
# ext4 listing and saving against The Sleuth Kit in the same run: a 1 GiB ext4 volume of
# about 100,000 files made with mke2fs -d; `quarnel ls -r` against `fls -r -p`, and
# `quarnel save` against `tsk_recover -a`. Prints wall-clock seconds for each.
#
#   bash bench/ext/run.sh [QUARNEL_BINARY]     (default: build-rel/quarnel)
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
Q=${1:-$HERE/../../build-rel/quarnel}
FILES=${FILES:-100000}
WORK=$(mktemp -d /tmp/quarnel-bench-ext.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

python3 - "$WORK/src" "$FILES" <<'PY'
import os, sys
root, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    d = os.path.join(root, f"d{i // 1000:03d}", f"s{(i // 100) % 10}")
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, f"file-{i:06d}.txt"), "wb") as f:
        f.write((f"bench file {i} " * (1 + i % 300)).encode())
PY
truncate -s 1G "$WORK/vol.img"
mke2fs -q -F -t ext4 -b 4096 -N $(( FILES + FILES / 4 )) -d "$WORK/src" "$WORK/vol.img"
sync

t() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N); echo "$e - $s" | bc; }
cat "$WORK/vol.img" >/dev/null  # the same warm cache for both sides
VOL=(-m "$WORK/vol.img" --start 0 --fs ext --size 1024)
echo "ls -r:   quarnel $(t "$Q" ls "${VOL[@]}" -r --format tsv) s   fls $(t fls -r -p "$WORK/vol.img") s"
echo "save:    quarnel $(t "$Q" save "${VOL[@]}" --out "$WORK/q") s   tsk_recover $(t tsk_recover -a "$WORK/vol.img" "$WORK/t") s"
echo "files:   quarnel $(find "$WORK/q" -type f | wc -l)   tsk_recover $(find "$WORK/t" -type f | wc -l)"
