#!/bin/sh
# The Debian package, built from a fresh Release tree in a temp dir: lintian-clean, the exact file list, its
# dependencies, the daemon runs from it, the unit's essentials, the maintainer scripts with and without a running
# systemd, and /tmp cleaning sparing the daemon's names. 77 (a skip) names a missing Debian package.
#   package-test.sh SOURCE_DIR VERSION CMAKE CPACK GENERATOR
set -eu
src=$1 version=$2 cmake=$3 cpack=$4 generator=$5 work=$(mktemp -d /tmp/trvmountd-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev lintian:lintian systemd-analyze:systemd systemd-tmpfiles:systemd; do
    command -v "${tool%%:*}" >/dev/null || { echo "SKIP: ${tool%%:*} is missing (Debian package ${tool#*:})"; exit 77; }
done
{ env -u CXXFLAGS -u LDFLAGS "$cmake" -S "$src" -B "$work/build" -G "$generator" -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr && "$cmake" --build "$work/build" && cd "$work/build" && "$cpack" -G DEB -B "$work/out"; } >"$work/log" 2>&1 ||
    { tail -n 30 "$work/log"; fail "building the package"; }
deb=$work/out/trvmountd_${version}_$(dpkg --print-architecture).deb root=$work/root unit=$work/root/usr/lib/systemd/system/trvmountd.service
lintian --fail-on error,warning "$deb" 2>&1 | grep -v 'root privileges' && fail "lintian reported on the package"
[ "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort | tr '\n' '|')" = "-rw-r--r-- root/root ./etc/default/trvmountd|\
-rw-r--r-- root/root ./usr/lib/systemd/system/trvmountd.service|-rw-r--r-- root/root ./usr/lib/tmpfiles.d/trvmountd.conf|\
-rw-r--r-- root/root ./usr/share/doc/trvmountd/changelog.gz|-rw-r--r-- root/root ./usr/share/doc/trvmountd/copyright|\
-rw-r--r-- root/root ./usr/share/doc/trvmountd/examples/Settings.ini|-rw-r--r-- root/root ./usr/share/doc/trvmountd/examples/qrllog.ini|\
-rw-r--r-- root/root ./usr/share/man/man8/TRVMountd.8.gz|-rwxr-xr-x root/root ./usr/sbin/TRVMountd|" ] || fail "files: $(dpkg-deb -c "$deb")"
[ "$(dpkg-deb -f "$deb" Depends | tr -d ' ' | tr ',' '\n' | sed 's/(.*//' | sort | tr '\n' ' ')" = "libc6 libgcc-s1 libstdc++6 " ] ||
    fail "Depends (the C and C++ runtime only): $(dpkg-deb -f "$deb" Depends)"
dpkg -x "$deb" "$root"
[ "$("$root/usr/sbin/TRVMountd" --version)" = "TRVMount v$version" ] || fail "--version"
[ "$( ("$root/usr/sbin/TRVMountd" || echo "status $?") | tr '\n' ' ')" = "Invalid mode status 1 " ] || fail "without -m: not 'Invalid mode' and status 1, on which the unit relies"
for setting in 'Type=notify' 'ExecStart=/usr/sbin/TRVMountd $TRVMOUNTD_OPTS' 'RestartPreventExitStatus=1' \
    'Environment="TRVMOUNTD_OPTS=-m 2 -k"' 'RestrictAddressFamilies=AF_UNIX'; do grep -qxF "$setting" "$unit" || fail "the unit lacks $setting"; done
! grep -Eq '^(PrivateTmp|PrivateMounts|ProtectSystem|ProtectHome|ReadOnlyPaths|TemporaryFileSystem)=' "$unit" || fail "the unit hides /tmp or mounts"
sed "s#/usr/sbin/TRVMountd #$root/usr/sbin/TRVMountd #" "$unit" > "$work/trvmountd.service"
(cd "$work" && MANPATH="$root/usr/share/man:" systemd-analyze verify trvmountd.service) 2>&1 | grep trvmountd && fail "systemd-analyze verify"
# The maintainer scripts talk to systemd only where it runs; an upgrade restarts a running daemon.
dpkg-deb -e "$deb" "$work/control" && mkdir "$work/bin"
for tool in systemctl deb-systemd-invoke systemd-tmpfiles; do
    printf '#!/bin/sh\necho %s "$*" >> %s/calls\n' "$tool" "$work" > "$work/bin/$tool" && chmod 755 "$work/bin/$tool"
done
scripts='sh -e $c/postinst configure && sh -e $c/postinst configure 12.9.0 && sh -e $c/prerm remove && sh -e $c/postrm remove'
PATH="$work/bin:$PATH" c=$work/control unshare -m sh -ec "mount -t tmpfs none /run && $scripts && echo -- >> $work/calls &&
    mkdir -p /run/systemd/system && $scripts" || fail "the maintainer scripts"
[ "$(tr '\n' '|' < "$work/calls")" = "systemd-tmpfiles --create trvmountd.conf|systemd-tmpfiles --create trvmountd.conf|--|\
systemd-tmpfiles --create trvmountd.conf|systemctl --system daemon-reload|systemd-tmpfiles --create trvmountd.conf|\
systemctl --system daemon-reload|deb-systemd-invoke try-restart trvmountd.service|deb-systemd-invoke stop trvmountd.service|\
systemctl --system daemon-reload|" ] || fail "maintainer script calls: $(cat "$work/calls")"
# Age-based cleaning of /tmp spares the links, placeholders, temporary names and the info directory.
t=$work/tmproot/tmp ours='ZentrixTRV ZentrixTRV_NotConnected ZentrixSilvenmar.tmpAbC123 .VKTMassStorageInfo/.VKT_sdb1_0'
mkdir -p "$t" "$work/tmproot/usr/lib/tmpfiles.d" && cp "$root/usr/lib/tmpfiles.d/trvmountd.conf" "$work/tmproot/usr/lib/tmpfiles.d/"
echo 'd /tmp 1777 root root 1s' > "$work/tmproot/usr/lib/tmpfiles.d/tmp.conf"
systemd-tmpfiles --root="$work/tmproot" --create >/dev/null 2>&1
for name in $ours other; do touch "$t/$name" && touch -d '2 days ago' "$t/$name"; done
sleep 2 && systemd-tmpfiles --root="$work/tmproot" --clean >/dev/null 2>&1
[ ! -e "$t/other" ] || fail "the cleaning did not run"
for name in $ours; do [ -e "$t/$name" ] || fail "age-based cleaning removed /tmp/$name"; done
echo PASS
