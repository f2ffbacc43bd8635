#!/bin/sh
# PID 1 of the test guest: a minimal thin-client platform made of busybox, the
# kernel's own USB and FAT modules, a polling automounter and the daemon.
#
# The first serial port (ttyS0) is the console until the guest is set up, and
# then the host's command channel: each line the host sends is "<id> <script in
# base64>"; the script runs and its output comes back between "@@BEGIN <id>" and
# "@@END <id> <exit status>". The second serial port (ttyS1) carries the
# daemon's standard output and standard error, so the daemon writes to a
# terminal as it does on a real console.

export PATH=/bin:/sbin
/bin/busybox --install -s /bin

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /tmp /run /media /mnt/system
chmod 1777 /tmp
# As on real systems the mount table is the kernel's own.
ln -s /proc/mounts /etc/mtab

echo "@@GUEST init: loading modules"
while read -r module; do
    [ -n "$module" ] || continue
    insmod "/lib/modules/$module" || echo "@@GUEST insmod $module failed"
done </lib/modules/load-order

# The platform's own (non-USB) disk, mounted read-only like a system partition.
tries=0
while [ ! -b /dev/sda1 ] && [ $tries -lt 100 ]; do
    usleep 100000
    tries=$((tries + 1))
done
mount -t vfat -o ro /dev/sda1 /mnt/system || echo "@@GUEST system disk not mounted"

/test/automounter.sh &

stty -F /dev/ttyS1 raw -echo
/test/daemonctl.sh start -m 2 -v

# From here on the console is the command channel; kernel messages stay in the
# ring buffer, where the host reads them with dmesg.
dmesg -n 1
stty raw -echo
echo "@@READY"
while IFS= read -r line; do
    id=${line%% *}
    payload=${line#* }
    case $id in
        '' | *[!0-9]*) continue ;;
    esac
    if ! echo "$payload" | base64 -d >/run/command.sh 2>/dev/null; then
        echo "@@BEGIN $id"
        echo "@@END $id 255"
        continue
    fi
    echo "@@BEGIN $id"
    sh /run/command.sh </dev/null 2>&1
    echo "@@END $id $?"
done
echo "@@GUEST command channel closed"
poweroff -f
