#!/usr/bin/env bash
# morvane convert on real volumes made for the test: an exFAT volume, which
# takes names that differ in letter case as one (through FUSE, which gives
# each spelling an inode of its own), and an ext4 volume whose backing store
# fills up under the copies. Needs root, loop devices and FUSE; skipped (77)
# with the reason where the machine has none.
#   volumes.sh MORVANE
set -uo pipefail
morvane=$1
im=/usr/bin/convert
work=$(mktemp -d /tmp/morvane-volumes.XXXXXX)
loops=()
mounts=()
cleanup() {
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" 2>/dev/null; done
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
skip() { echo "SKIP: $*"; exit 77; }
failures=0
check() { # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}
mountImage() { # mountImage IMAGE FOLDER MOUNT-COMMAND...: the image's loop device on FOLDER
  dev=$(losetup -f --show "$1") || skip "no loop device"
  loops+=("$dev")
  mkdir -p "$2" && "${@:3}" "$dev" "$2" || skip "cannot mount $1 with $3"
  mounts+=("$2")
}

[ "$(id -u)" -eq 0 ] || skip "mounting test volumes needs root"
for tool in losetup mkfs.exfat mount.exfat-fuse mkfs.ext4 e2fsck "$im"; do
  command -v "$tool" > /dev/null || skip "$tool is not installed"
done

# A source that is its own copy in another spelling, on a volume that ignores letter case.
truncate -s 32M "$work/exfat.img" && mkfs.exfat "$work/exfat.img" > /dev/null || skip "cannot make an exFAT image"
mountImage "$work/exfat.img" "$work/ex" mount.exfat-fuse
"$im" -size 16x16 xc:'rgba(200,30,30,0.5)' -define bmp:format=bmp4 "$work/ex/alpha.BMP"
cp "$work/ex/alpha.BMP" "$work/alpha.orig"
out=$("$morvane" convert --to .bmp "$work/ex")
status=$?
check "a source that is its own copy in another spelling is skipped" grep -q $'^skipped\talpha.BMP' <<< "$out"
check "  and left as it was" cmp -s "$work/alpha.orig" "$work/ex/alpha.BMP"
check "  and nothing failed (exit $status)" [ "$status" -eq 0 ]

# A volume whose disk fills up under the copies: every copy reported saved
# is on the disk once the volume is checked, whole (as the same run makes
# it on a sound disk).
mkdir "$work/store" && mount -t tmpfs -o size=12M tmpfs "$work/store" || skip "cannot mount a tmpfs"
mounts+=("$work/store")
truncate -s 96M "$work/store/ext4.img"
mkfs.ext4 -q -O ^has_journal -E lazy_itable_init=1,nodiscard "$work/store/ext4.img" || skip "cannot make an ext4 image"
mountImage "$work/store/ext4.img" "$work/vol" mount
for i in $(seq -w 1 12); do "$im" -size 800x800 plasma:fractal -seed "$i" -quality 40 "$work/vol/t$i.jpg"; done
sync
out=$("$morvane" convert --to .bmp "$work/vol" 2> /dev/null)
status=$?
saved=$(awk -F'\t' '$1 == "saved" { print $2 }' <<< "$out")
check "a full disk fails copies (exit $status)" [ "$status" -eq 1 -a "$(grep -c $'^failed\t' <<< "$out")" -gt 0 ]
mkdir "$work/good" && cp "$work"/vol/t*.jpg "$work/good"/ && "$morvane" convert --to .bmp "$work/good" > /dev/null
umount "$work/vol" && unset 'mounts[${#mounts[@]}-1]'
mount -o remount,size=256M "$work/store"
e2fsck -fy "$dev" > /dev/null 2>&1
mount "$dev" "$work/vol" && mounts+=("$work/vol")
missing=0
for name in $saved; do cmp -s "$work/good/${name%.jpg}.bmp" "$work/vol/${name%.jpg}.bmp" || missing=$((missing + 1)); done
check "every copy reported saved is on the disk, whole ($missing of $(wc -w <<< "$saved") not)" [ "$missing" -eq 0 ]
echo "$failures failed"
[ "$failures" -eq 0 ]
