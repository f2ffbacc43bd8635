#!/bin/sh
# Makes a small FAT disk image for the emulated sticks, without loop devices.
#   make-disk-image.sh partitioned IMAGE LABEL MARKER   MBR with one FAT partition
#   make-disk-image.sh whole IMAGE LABEL MARKER         FAT on the whole disk
# MARKER is written to STICK.TXT in the root directory, so a test can tell
# through which mount it reached which stick.
set -eu
export MTOOLS_SKIP_CHECK=1

layout=$1
image=$2
label=$3
marker=$4

size_mib=16
rm -f "$image" "$image.part"
printf '%s\n' "$marker" >"$image.marker"

case $layout in
    partitioned)
        # One primary FAT16 partition from 1 MiB to the end of the disk.
        truncate -s "${size_mib}M" "$image"
        echo 'start=2048, type=6' | sfdisk --quiet --label dos "$image" >/dev/null
        mkfs.vfat -n "$label" -C "$image.part" $(((size_mib - 1) * 1024)) >/dev/null
        mcopy -i "$image.part" "$image.marker" ::/STICK.TXT
        dd if="$image.part" of="$image" bs=1M seek=1 conv=notrunc status=none
        rm -f "$image.part"
        ;;
    whole)
        mkfs.vfat -n "$label" -C "$image" $((size_mib * 1024)) >/dev/null
        mcopy -i "$image" "$image.marker" ::/STICK.TXT
        ;;
    *)
        echo "unknown layout: $layout" >&2
        exit 2
        ;;
esac
rm -f "$image.marker"
