#!/bin/sh
# usage: enter-fake-root.sh ROOT PROGRAM [ARGS...]   (PROGRAM as seen inside ROOT)
# Run in a private mount namespace (unshare --mount --propagation private), so
# nothing mounted here is seen outside: the host's programs and libraries are
# bound read-only into the root, /proc for the runtime (sanitizers and valgrind
# read it), and the program runs chrooted, so its fixed absolute paths
# (/sys/block, /etc/mtab, /tmp, ...) are the fake ones.
set -eu
root=$1
shift
for dir in usr bin sbin lib lib32 lib64 libx32; do
    if [ -L "/$dir" ]; then  # merged /usr: the same link inside
        ln -sfn "$(readlink "/$dir")" "$root/$dir"
    elif [ -d "/$dir" ]; then
        mkdir -p "$root/$dir" && mount --bind -o ro "/$dir" "$root/$dir"
    fi
done
mkdir -p "$root/proc" && mount --bind /proc "$root/proc"
# fs.protected_symlinks reads 1 unless the scenario set TRV_PROTECTED_SYMLINKS; the umask is the worst.
mount -t tmpfs -o size=16k trv-sysctl "$root/proc/sys/fs" && echo "${TRV_PROTECTED_SYMLINKS:-1}" >"$root/proc/sys/fs/protected_symlinks"
umask 000
exec chroot "$root" "$@"
