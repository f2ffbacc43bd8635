#!/bin/sh
# The daemon's mode-2 job as a shell loop, the yardstick of the pass cost.
# usage: trvmount-loop.sh obvious|careful PASSES
# obvious is written as one would (basename, cat, tr, grep, head, cut); careful
# starts no process but ln, to show what starting the others costs.
TRV=/tmp/ZentrixTRV
SV=/tmp/ZentrixSilvenmar

# Each sets link, and mountpoint if mounted, for a maker's device $dev; fails for others.
obvious() {
    name=$(basename "$dev")
    vendor=$(cat "$dev/device/vendor" 2>/dev/null)
    model=$(cat "$dev/device/model" 2>/dev/null)
    # unquoted on purpose: drops the padding blanks
    case "$(echo $vendor $model | tr '[:upper:]' '[:lower:]')" in
        "zentrix silvenmar") part=$name link=$SV ;;
        "zentrix trv3"|"zentrix trv4"|"zentrix trv3-harddisk"|"zentrix trv4-harddisk"|"zentrix trv-harddisk"|\
        "zentrix_sonivex velquor_3"|"zentrix_sonivex velquor_4") part=${name}1 link=$TRV ;;
        *) return 1 ;;
    esac
    mountpoint=$(grep "^[^ ]*$part " /etc/mtab | head -n 1 | cut -d ' ' -f 2)
}

careful() {
    name=${dev##*/}
    vendor= model=
    read -r vendor rest 2>/dev/null <"$dev/device/vendor"
    read -r model rest 2>/dev/null <"$dev/device/model"
    case "$vendor/$model" in
        [Zz][Ee][Nn][Tt][Rr][Ii][Xx]/[Ss][Ii][Ll][Vv][Ee][Nn][Mm][Aa][Rr]) part=$name link=$SV ;;
        [Zz][Ee][Nn][Tt][Rr][Ii][Xx]/[Tt][Rr][Vv][34]|[Zz][Ee][Nn][Tt][Rr][Ii][Xx]/[Tt][Rr][Vv][34]-[Hh][Aa][Rr][Dd][Dd][Ii][Ss][Kk]|\
        [Zz][Ee][Nn][Tt][Rr][Ii][Xx]/[Tt][Rr][Vv]-[Hh][Aa][Rr][Dd][Dd][Ii][Ss][Kk]|\
        [Zz][Ee][Nn][Tt][Rr][Ii][Xx]_[Ss][Oo][Nn][Ii][Vv][Ee][Xx]/[Vv][Ee][Ll][Qq][Uu][Oo][Rr]_[34]) part=${name}1 link=$TRV ;;
        *) return 1 ;;
    esac
    # the second field of the first line whose first field ends with the partition
    mountpoint=
    while read -r fs dir rest; do
        case "$fs" in *"$part") mountpoint=$dir; break ;; esac
    done </etc/mtab
}

i=0
while [ "$i" -lt "$2" ]; do
    trv_found= sv_found=
    for dev in /sys/block/*; do
        "$1" && [ -n "$mountpoint" ] || continue
        ln -sfn "$mountpoint" "$link"
        if [ "$link" = "$TRV" ]; then trv_found=1; else sv_found=1; fi
    done
    [ -n "$trv_found" ] || rm -f "$TRV"
    [ -n "$sv_found" ] || rm -f "$SV"
    i=$((i + 1))
done
