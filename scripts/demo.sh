#!/bin/sh
# Builds the daemon and shows its main job live. First mode 1 (eLux NG) on a
# simulated device directory in a temp dir: a TRV stick and a Silvenmar stick
# are plugged and unplugged, and the daemon's lines, the links and an info file
# are shown as they change. The links live in the temp dir too; only the
# daemon's info directory, /tmp/.VKTMassStorageInfo/, is the real one. Then,
# as root, mode 2 (Linux with /sys) in a fake root: a stick's sysfs entry
# appears, then its mount table line, and the link follows within
# milliseconds.
set -eu
cd "$(dirname "$0")/.."

sh scripts/ensure-packages.sh cmake ninja-build g++ libsimpleini-dev

build=${TRV_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build"
daemon="$(pwd)/$build/TRVMount/TRVMountd"

demo=$(mktemp -d /tmp/trvmountd-demo.XXXXXX)
pids=""
cleanup() {
    for pid in $pids; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$demo"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

devices="$demo/elux-usb"          # where the platform describes each stick
mkdir -p "$devices" "$demo/media/usb0" "$demo/media/usb1"
echo "report.pdf" > "$demo/media/usb0/report.pdf"
echo "notes.txt" > "$demo/media/usb1/notes.txt"
info=/tmp/.VKTMassStorageInfo
shown=0

if [ -t 1 ]; then bold='\033[1m' plain='\033[0m'; else bold='' plain=''; fi
say() { printf "\n${bold}== %s${plain}\n" "$*"; }
# The daemon's console lines since the last call.
new_lines() {
    sleep 0.3
    total=$(wc -l < "$1")
    tail -n "+$((shown + 1))" "$1" | sed 's/^/   daemon: /'
    shown=$total
}
links() {
    for link in ZentrixTRV ZentrixSilvenmar; do
        if [ -L "$1/$link" ]; then
            echo "   $link -> $(readlink "$1/$link")"
        else
            echo "   $link: (no link)"
        fi
    done
}
listing() {
    entries=$(ls -A "$1" | tr '\n' ' ')
    echo "   info directory: ${entries:-(empty)}"
}
# A platform publishes a device file in one step: written aside, renamed in.
plug() { printf '%s %s %s\n' "$2" "$3" "$4" > "$demo/.new" && mv "$demo/.new" "$devices/$1"; }

echo
echo "\$ TRVMountd --version"
"$daemon" --version

say "Mode 1. Starting: TRVMountd -m 1 -v -e $devices -l $demo/ZentrixTRV -s $demo/ZentrixSilvenmar"
"$daemon" -m 1 -v -e "$devices" -l "$demo/ZentrixTRV" -s "$demo/ZentrixSilvenmar" \
    > "$demo/daemon.out" 2>&1 &
pids="$!"
new_lines "$demo/daemon.out"

say "Plugging a TRV stick, mounted at media/usb0"
plug sdb Zentrix TRV4 "$demo/media/usb0"
new_lines "$demo/daemon.out"
links "$demo"
echo "   through the link: $(ls "$demo/ZentrixTRV/")"
echo "   info file $info/.VKT__0:"
sed 's/^/     /' "$info/.VKT__0"

say "Plugging a Silvenmar stick, mounted at media/usb1"
plug sdc Zentrix Silvenmar "$demo/media/usb1"
new_lines "$demo/daemon.out"
links "$demo"

say "Plugging a stick of another maker: ignored"
plug sdd Kingston DataTraveler "$demo/media/usb1"
new_lines "$demo/daemon.out"
listing "$info"

say "Unplugging the TRV stick"
rm "$devices/sdb"
new_lines "$demo/daemon.out"
links "$demo"

say "Unplugging the Silvenmar stick"
rm "$devices/sdc"
new_lines "$demo/daemon.out"
links "$demo"
listing "$info"

# Mode 2 reads the fixed paths /sys/block and /etc/mtab: it runs chrooted into
# a fake root in a private mount namespace, which needs root.
if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null 2>&1; then
    say "Mode 2 runs in a fake root, which needs root (and unshare): skipped"
    exit 0
fi
root="$demo/root"
mkdir -p "$root/opt" "$root/etc" "$root/tmp" "$root/sys/block" "$root/media/sdb1"
chmod 1777 "$root/tmp"
cp "$daemon" "$root/opt/TRVMountd"
echo "/dev/sda1 / ext4 rw 0 0" > "$root/etc/mtab"
stick=tests/fixtures/sysfs/root-port/sys    # a TRV stick at a USB root port, as the kernel shows it

say "Mode 2 in a fake root ($root). Starting: TRVMountd -m 2 -v"
shown=0
unshare --mount --propagation private sh tests/e2e/enter-fake-root.sh "$root" /opt/TRVMountd -m 2 -v \
    > "$demo/daemon2.out" 2>&1 &
pids="$pids $!"
new_lines "$demo/daemon2.out"

say "The kernel adds the stick: /sys/block/sdb appears"
cp -a "$stick/devices" "$root/sys/"
cp -a "$stick/block/sdb" "$root/sys/block/"
echo "   /sys/block/sdb -> $(readlink "$root/sys/block/sdb")"
echo "   vendor '$(cat "$root/sys/block/sdb/device/vendor")' model '$(cat "$root/sys/block/sdb/device/model")'"
sleep 1.5
links "$root/tmp"
echo "   (not mounted yet: no link)"

say "The platform mounts it: /etc/mtab gets its line"
echo "/dev/sdb1 /media/sdb1 vfat rw,relatime 0 0" > "$root/media/sdb1/STICK.TXT"
{ cat "$root/etc/mtab"; echo "/dev/sdb1 /media/sdb1 vfat rw,relatime 0 0"; } > "$root/etc/.mtab.new"
start=$(date +%s%N)
mv "$root/etc/.mtab.new" "$root/etc/mtab"
while [ ! -L "$root/tmp/ZentrixTRV" ]; do :; done
end=$(date +%s%N)
echo "   the link followed in $(( (end - start) / 1000 )) microseconds:"
links "$root/tmp"
new_lines "$demo/daemon2.out"

say "The stick is pulled: /sys/block/sdb goes, then its mount"
rm "$root/sys/block/sdb"
grep -v sdb1 "$root/etc/mtab" > "$root/etc/.mtab.new" && mv "$root/etc/.mtab.new" "$root/etc/mtab"
new_lines "$demo/daemon2.out"
links "$root/tmp"
listing "$root/tmp/.VKTMassStorageInfo"

say "Stopping the daemons (SIGTERM) and removing $demo"
