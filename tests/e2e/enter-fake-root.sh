#!/bin/sh
# Starts a program inside a fake root. Run in a private mount namespace
# (unshare --mount --propagation private) so nothing mounted here is seen
# outside: the host's programs and libraries are bound read-only into the
# root, /proc is bound for the runtime (sanitizers and valgrind read it), and
# the program is started with chroot so that its fixed absolute paths
# (/sys/block, /etc/mtab, /tmp, ...) are the fake ones.
#
# usage: enter-fake-root.sh ROOT PROGRAM [ARGS...]   (PROGRAM as seen inside ROOT)
# FAKE_ROOT_READ_ONLY may name paths inside ROOT (blank-separated) to bind
# read-only onto themselves: root ignores permission bits, not a read-only mount.
set -eu
root=$1
shift

for dir in usr bin sbin lib lib32 lib64 libx32; do
    if [ -L "/$dir" ]; then
        # merged /usr: keep the same link inside the root
        ln -sfn "$(readlink "/$dir")" "$root/$dir"
    elif [ -d "/$dir" ]; then
        mkdir -p "$root/$dir"
        mount --bind -o ro "/$dir" "$root/$dir"
    fi
done
mkdir -p "$root/proc"
mount --bind /proc "$root/proc"
for path in ${FAKE_ROOT_READ_ONLY:-}; do
    mount --bind -o ro "$root$path" "$root$path"
done

exec chroot "$root" "$@"
