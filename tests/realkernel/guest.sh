#!/bin/busybox sh
# PID 1 of the test guest. Once set up, its second serial port is the host's command channel: each line is a script, its
# output ends with "@@END <exit status>". Helpers: /init automount (for mdev), start ARGS, alive, stop.
export PATH=/bin
say() { read -r up _ </proc/uptime && echo "$up $*" >/dev/ttyS2; }  # to the third serial port, after the guest's uptime
case $1 in
automount)  # the automounter, run by mdev for sd*: a removable disk's FAT goes to /media (reported with its USB numbers)
    [ "$ACTION" = remove ] && umount -l /media/$MDEV
    d=/sys/block/${MDEV%%[0-9]*} && r=$(realpath $d) && n=$(cd $r/../../../../../.. && cat devnum idVendor idProduct) &&
        [ "$ACTION" = add ] && grep -qx 1 $d/removable && mkdir -p /media/$MDEV && mount -t vfat /dev/$MDEV /media/$MDEV &&
        say "@@MOUNT /media/$MDEV $r" $n ;;
start)  # TRVMountd ARGS; each line it writes goes to the third serial port
    shift && setsid TRVMountd "$@" </dev/null 2>&1 | while IFS= read -r l; do say "$l"; done & ;;
alive) grep -qs '^State:.[^Z]' /proc/$(pidof TRVMountd)/status ;;  # and not a zombie
stop) kill $(pidof TRVMountd) && for i in $(seq 50); do /init alive || exit 0; usleep 100000; done; kill -9 $(pidof TRVMountd) ;;
*)  /bin/busybox --install -s /bin && mkdir -p /proc /sys /tmp /run /media /mnt/system /etc && chmod 1777 /tmp
    mount -t proc proc /proc && mount -t sysfs sysfs /sys && mount -t devtmpfs dev /dev && ln -s /proc/mounts /etc/mtab
    for m in /lib/modules/*.ko; do insmod $m || echo "@@GUEST insmod $m failed"; done
    for i in $(seq 100); do mount -t vfat -o ro /dev/sda1 /mnt/system 2>/dev/null && break; usleep 100000; done
    echo 'sd[a-z].* 0:0 660 */init automount' >/etc/mdev.conf && mdev -d  # the platform's disk is mounted read-only above
    exec </dev/ttyS1 >/dev/ttyS1 2>&1 && stty raw -echo && echo @@READY
    while read -r line; do sh -c "$line" </dev/null 2>&1; echo "@@END $?"; done ;;
esac
