#!/bin/sh
# The daemon's mode-2 job written as the obvious shell loop: list /sys/block,
# read each device's vendor and model, grep the mount table for the maker's
# devices, ln -sfn the link, and remove a link whose device is gone. Used as
# the yardstick in the benchmarks; it is not part of the product.
#
# usage: trvmount-loop.sh [PASSES]
# Without PASSES it runs for ever, one pass a second, as the daemon does; with
# PASSES it runs that many passes back to back and exits (for timing).
# TRV_LINK and SV_LINK move the two links (defaults /tmp/ZentrixTRV and
# /tmp/ZentrixSilvenmar).
TRV=${TRV_LINK:-/tmp/ZentrixTRV}
SV=${SV_LINK:-/tmp/ZentrixSilvenmar}

pass() {
    trv_found=
    sv_found=
    for dev in /sys/block/*; do
        name=$(basename "$dev")
        vendor=$(cat "$dev/device/vendor" 2>/dev/null)
        model=$(cat "$dev/device/model" 2>/dev/null)
        # unquoted on purpose: drops the padding blanks
        case "$(echo $vendor $model | tr '[:upper:]' '[:lower:]')" in
            "zentrix silvenmar")
                part=$name link=$SV ;;
            "zentrix trv3"|"zentrix trv4"|"zentrix trv3-harddisk"|"zentrix trv4-harddisk"|"zentrix trv-harddisk"|\
            "zentrix_sonivex velquor_3"|"zentrix_sonivex velquor_4")
                part=${name}1 link=$TRV ;;
            *)
                continue ;;
        esac
        mountpoint=$(grep "^[^ ]*$part " /etc/mtab | head -n 1 | cut -d ' ' -f 2)
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
