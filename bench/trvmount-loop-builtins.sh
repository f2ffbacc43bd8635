#!/bin/sh
# The same loop as trvmount-loop.sh written with care: the shell's own read,
# case patterns instead of tr and a read loop instead of grep, so that a pass
# starts no process except ln for a device found. It shows how much of the
# obvious loop's cost is starting processes and how much is the shell itself.
#
# usage: trvmount-loop-builtins.sh [PASSES]   (as trvmount-loop.sh)
TRV=${TRV_LINK:-/tmp/ZentrixTRV}
SV=${SV_LINK:-/tmp/ZentrixSilvenmar}

pass() {
    trv_found=
    sv_found=
    for dev in /sys/block/*; do
        name=${dev##*/}
        vendor= model=
        read -r vendor rest 2>/dev/null < "$dev/device/vendor"
        read -r model rest 2>/dev/null < "$dev/device/model"
        case "$vendor/$model" in
            [Zz][Ee][Nn][Tt][Rr][Ii][Xx]/[Ss][Ii][Ll][Vv][Ee][Nn][Mm][Aa][Rr])
                part=$name link=$SV ;;
            [Zz][Ee][Nn][Tt][Rr][Ii][Xx]/[Tt][Rr][Vv][34]|[Zz][Ee][Nn][Tt][Rr][Ii][Xx]/[Tt][Rr][Vv][34]-[Hh][Aa][Rr][Dd][Dd][Ii][Ss][Kk]|\
            [Zz][Ee][Nn][Tt][Rr][Ii][Xx]/[Tt][Rr][Vv]-[Hh][Aa][Rr][Dd][Dd][Ii][Ss][Kk]|\
            [Zz][Ee][Nn][Tt][Rr][Ii][Xx]_[Ss][Oo][Nn][Ii][Vv][Ee][Xx]/[Vv][Ee][Ll][Qq][Uu][Oo][Rr]_[34])
                part=${name}1 link=$TRV ;;
            *)
                continue ;;
        esac
        # the mount point: second field of the first line whose first field
        # ends with the partition
        mountpoint=
        while read -r fs dir rest; do
            case "$fs" in
                *"$part") mountpoint=$dir; break ;;
            esac
        done < /etc/mtab
        [ -n "$mountpoint" ] || continue
        ln -sfn "$mountpoint" "$link"
        if [ "$link" = "$TRV" ]; then trv_found=1; else sv_found=1; fi
    done
    [ -n "$trv_found" ] || rm -f "$TRV"
    [ -n "$sv_found" ] || rm -f "$SV"
}

if [ $# -ge 1 ]; then
    i=0
    while [ "$i" -lt "$1" ]; do
        pass
        i=$((i + 1))
    done
else
    while :; do
        pass
        sleep 1
    done
fi
