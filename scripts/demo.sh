#!/bin/sh
# Builds the daemon and shows its main job live: it starts TRVMountd in mode 1
# (eLux NG) on a simulated device directory in a temp dir, plugs a TRV stick and
# a Silvenmar stick, unplugs them, and shows the daemon's lines, the links and
# an info file as they change. The links live in the temp dir too; only the
# daemon's info directory, /tmp/.VKTMassStorageInfo/, is the real one.
set -eu
cd "$(dirname "$0")/.."

sh scripts/ensure-packages.sh cmake ninja-build g++ libsimpleini-dev

build=${TRV_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build"
daemon="$(pwd)/$build/TRVMount/TRVMountd"

demo=$(mktemp -d /tmp/trvmountd-demo.XXXXXX)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$demo"
}
trap cleanup EXIT INT TERM

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
    total=$(wc -l < "$demo/daemon.out")
    tail -n "+$((shown + 1))" "$demo/daemon.out" | sed 's/^/   daemon: /'
    shown=$total
}
links() {
    for link in ZentrixTRV ZentrixSilvenmar; do
        if [ -L "$demo/$link" ]; then
            echo "   $link -> $(readlink "$demo/$link")"
        else
            echo "   $link: (no link)"
        fi
    done
}
# A platform publishes a device file in one step: written aside, renamed in.
plug() { printf '%s %s %s\n' "$2" "$3" "$4" > "$demo/.new" && mv "$demo/.new" "$devices/$1"; }

echo
echo "\$ TRVMountd --version"
"$daemon" --version

say "Starting: TRVMountd -m 1 -v -e $devices -l $demo/ZentrixTRV -s $demo/ZentrixSilvenmar"
"$daemon" -m 1 -v -e "$devices" -l "$demo/ZentrixTRV" -s "$demo/ZentrixSilvenmar" \
    > "$demo/daemon.out" 2>&1 &
pid=$!
new_lines

say "Plugging a TRV stick, mounted at media/usb0"
plug sdb Zentrix TRV4 "$demo/media/usb0"
new_lines
links
echo "   through the link: $(ls "$demo/ZentrixTRV/")"
echo "   info file $info//.VKT__0:"
sed 's/^/     /' "$info/.VKT__0"

say "Plugging a Silvenmar stick, mounted at media/usb1"
plug sdc Zentrix Silvenmar "$demo/media/usb1"
new_lines
links

say "Plugging a stick of another maker: ignored"
plug sdd Kingston DataTraveler "$demo/media/usb1"
new_lines
echo "   info directory: $(ls -A "$info" | tr '\n' ' ')"

say "Unplugging the TRV stick"
rm "$devices/sdb"
new_lines
links

say "Unplugging the Silvenmar stick"
rm "$devices/sdc"
new_lines
links
echo "   info directory: $(ls -A "$info" | tr '\n' ' ')(empty)"

say "Stopping the daemon (SIGTERM) and removing $demo"
