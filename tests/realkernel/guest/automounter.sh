#!/bin/sh
# Stands in for the platform's automounter. Twice a second it looks at the
# removable disks in /sys/block: a disk seen in two scans in a row gets its first
# partition mounted at /media/<partition>, or, when it has no partition table,
# the whole disk at /media/<disk>. A mount whose disk (or partition) has gone is
# unmounted lazily, as a platform does after an unplug. Each action is logged to
# the kernel ring buffer, between the kernel's own USB messages.

log() {
    echo "TEST t=$(cut -d' ' -f1 /proc/uptime) AUTOMOUNT $*" >/dev/kmsg
}

seen=""
failed=""
while :; do
    now=""
    for sys in /sys/block/sd*; do
        [ -e "$sys" ] || continue
        disk=${sys##*/}
        [ "$(cat "$sys/removable" 2>/dev/null)" = 1 ] || continue
        now="$now $disk "
        case "$seen" in *" $disk "*) ;; *) continue ;; esac
        if [ -d "$sys/${disk}1" ]; then part=${disk}1; else part=$disk; fi
        grep -q "^/dev/$part " /proc/mounts && continue
        case "$failed" in *" $part "*) continue ;; esac
        mkdir -p "/media/$part"
        if mount -t vfat "/dev/$part" "/media/$part"; then
            log "MOUNT /dev/$part /media/$part"
        else
            log "FAILED /dev/$part"
            failed="$failed $part "
        fi
    done
    seen=$now
    # Forget failures of disks that have gone, so a replugged stick is tried again.
    kept=""
    for part in $failed; do
        disk=$(echo "$part" | sed 's/[0-9]*$//')
        case "$now" in *" $disk "*) kept="$kept $part " ;; esac
    done
    failed=$kept

    while read -r dev dir rest; do
        case $dev in /dev/sd*) ;; *) continue ;; esac
        name=${dev#/dev/}
        disk=$(echo "$name" | sed 's/[0-9]*$//')
        if [ "$name" = "$disk" ]; then
            [ -e "/sys/block/$disk" ] && continue
        else
            [ -e "/sys/block/$disk/$name" ] && continue
        fi
        if umount -l "$dir"; then
            log "UMOUNT $dev $dir"
            rmdir "$dir" 2>/dev/null
        fi
    done </proc/mounts
    usleep 500000
done
