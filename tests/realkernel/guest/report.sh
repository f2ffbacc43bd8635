#!/bin/sh
# Prints what the host checks, one fact per line, in a form easy to parse.
#   report.sh disks            every entry of /sys/block and the mount table
#   report.sh paths PATH...    what stands at each path (and the info files)

field() {
    # The whole first line of a file, blanks kept, in brackets.
    if [ -r "$1" ]; then
        printf '[%s]' "$(head -n 1 "$1")"
    else
        printf '(none)'
    fi
}

disks() {
    for sys in /sys/block/*; do
        [ -e "$sys" ] || continue
        name=${sys##*/}
        echo "DISK $name LINK $(readlink "$sys")"
        echo "DISK $name VENDOR $(field "$sys/device/vendor")"
        echo "DISK $name MODEL $(field "$sys/device/model")"
        echo "DISK $name REMOVABLE $(field "$sys/removable")"
        parts=""
        for part in "$sys"/"$name"*; do
            [ -d "$part" ] && parts="$parts ${part##*/}"
        done
        echo "DISK $name PARTITIONS$parts"
        # The USB device directory: the nearest ancestor that has idVendor.
        dir=$(readlink -f "$sys/device" 2>/dev/null)
        while [ -n "$dir" ] && [ "$dir" != / ] && [ ! -f "$dir/idVendor" ]; do
            dir=${dir%/*}
        done
        if [ -n "$dir" ] && [ -f "$dir/idVendor" ]; then
            echo "DISK $name USBDIR $dir"
            for attr in devnum idVendor idProduct product busnum devpath speed; do
                echo "DISK $name USB $attr $(field "$dir/$attr")"
            done
        fi
    done
    while IFS= read -r line; do
        echo "MTAB $line"
    done </etc/mtab
}

describe_path() {
    path=$1
    if [ -L "$path" ]; then
        echo "PATH $path symlink $(readlink "$path")"
        if [ -r "$path/STICK.TXT" ]; then
            echo "PATH $path marker $(head -n 1 "$path/STICK.TXT")"
        fi
    elif [ -f "$path" ]; then
        echo "PATH $path file $(wc -c <"$path")"
    elif [ -d "$path" ]; then
        echo "PATH $path directory"
    elif [ -e "$path" ]; then
        echo "PATH $path other"
    else
        echo "PATH $path absent"
    fi
}

paths() {
    for path in "$@"; do
        describe_path "$path"
    done
    info=/tmp/.VKTMassStorageInfo
    if [ -d "$info" ]; then
        for entry in "$info"/* "$info"/.*; do
            name=${entry##*/}
            case $name in . | .. | '*' | '.*') continue ;; esac
            # The exact bytes, so blanks and line ends can be compared too.
            echo "INFO $name $(base64 -w 0 <"$entry")"
        done
    else
        echo "INFODIR absent"
    fi
}

case $1 in
    disks) disks ;;
    paths) shift; paths "$@" ;;
    *) echo "usage: $0 disks | paths PATH..." >&2; exit 2 ;;
esac
