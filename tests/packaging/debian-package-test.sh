#!/bin/sh
# Builds the Debian package of the daemon and checks what it ships.
#
#   debian-package-test.sh SOURCE_DIR VERSION CMAKE CPACK GENERATOR CXX
#
# The package is built from a fresh Release build without sanitizers in a temp
# dir, whatever the calling build tree's options, so the shipped daemon is
# never a sanitizer build. Then:
#   - the control data (dpkg-deb -f), the conffiles and the maintainer scripts;
#   - the maintainer scripts run without systemd (they must not call
#     systemctl) and, as root, with a simulated running systemd;
#   - the exact file list with modes and owners (dpkg-deb -c);
#   - the daemon unpacked with dpkg -x runs from there;
#   - the service unit: its paths, no setting that would give it a private
#     view of the file system, and systemd-analyze verify where present;
#   - the tmpfiles.d snippet keeps age-based cleaning away from the link
#     paths, placeholders and info directory (systemd-tmpfiles, where present);
#   - the manual page renders without warnings (groff -ww, man --warnings,
#     mandoc -T lint where present) and names every option of the daemon.
# Exits 77 (skip) when a required tool is missing, naming its Debian package.
# shellcheck disable=SC2015 # "[ a ] && [ b ] || fail" is meant as written
set -eu

if [ $# -ne 6 ]; then
    echo "usage: $0 SOURCE_DIR VERSION CMAKE CPACK GENERATOR CXX" >&2
    exit 2
fi
src=$1 version=$2 cmake=$3 cpack=$4 generator=$5 cxx=$6

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }
note() { echo "note: $*"; }
need() { command -v "$1" >/dev/null 2>&1 || skip "$1 is missing (Debian package $2)"; }

need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need groff groff-base
need man man-db
need readelf binutils
need gzip gzip
man --version >/dev/null 2>&1 || skip "man does not work here (a minimized system?); install man-db"

work=$(mktemp -d "${TMPDIR:-/tmp}/trvmountd-package.XXXXXX")
cleanup() {
    if [ -n "${TRV_KEEP_PACKAGE_TEST_DIR:-}" ]; then
        echo "kept $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# --- Build -----------------------------------------------------------------
build=$work/build
echo "Building a Release tree in $build"
# Compiler and linker flags from the environment could carry sanitizers in.
if ! env -u CFLAGS -u CXXFLAGS -u CPPFLAGS -u LDFLAGS \
        "$cmake" -S "$src" -B "$build" -G "$generator" -DCMAKE_BUILD_TYPE=Release \
        -DTRV_BUILD_TESTS=OFF -DTRV_SANITIZE=OFF -DCMAKE_INSTALL_PREFIX=/usr \
        -DCMAKE_CXX_COMPILER="$cxx" >"$work/configure.log" 2>&1; then
    cat "$work/configure.log"; fail "configuring the Release build"
fi
if ! "$cmake" --build "$build" --parallel >"$work/build.log" 2>&1; then
    tail -n 50 "$work/build.log"; fail "building the Release tree"
fi
if ! (cd "$build" && "$cpack" -G DEB -B "$work/out") >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"; fail "cpack -G DEB"
fi

arch=$(dpkg --print-architecture)
deb=$work/out/trvmountd_${version}_${arch}.deb
[ -f "$deb" ] || { ls -l "$work/out"; fail "no package $deb"; }
pass "built $(basename "$deb")"
dpkg-deb --info "$deb" >/dev/null || fail "dpkg-deb cannot read the package"

# --- Control data -------------------------------------------------------------
echo "--- dpkg-deb -f"
dpkg-deb -f "$deb"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = trvmountd ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Section)" = admin ] || fail "Section is '$(field Section)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
# Derived from the binary by dpkg-shlibdeps: the C and C++ run-time libraries.
case "$depends" in *"libc6 (>="*) ;; *) fail "Depends lacks libc6: '$depends'" ;; esac
case "$depends" in *"libstdc++6"*) ;; *) fail "Depends lacks libstdc++6: '$depends'" ;; esac
case "$depends" in *asan* | *ubsan*) fail "Depends names a sanitizer run time: '$depends'" ;; esac
pass "control fields"

control=$work/control
dpkg-deb -e "$deb" "$control"
[ "$(cat "$control/conffiles")" = /etc/default/trvmountd ] ||
    fail "conffiles is '$(cat "$control/conffiles")'"
for script in postinst prerm postrm; do
    [ -f "$control/$script" ] || fail "no $script"
    [ "$(stat -c %a "$control/$script")" = 755 ] || fail "$script is not mode 755"
    sh -n "$control/$script" || fail "$script has a syntax error"
    if grep -Eq 'systemctl|deb-systemd-invoke' "$control/$script"; then
        grep -q '/run/systemd/system' "$control/$script" ||
            fail "$script talks to systemd without checking /run/systemd/system"
    fi
done
pass "conffiles and maintainer scripts"

# --- Maintainer scripts at work -----------------------------------------------
# Stand-ins for systemctl, deb-systemd-invoke and systemd-tmpfiles record
# their calls instead.
fakebin=$work/fakebin
mkdir -p "$fakebin"
for tool in systemctl deb-systemd-invoke systemd-tmpfiles; do
    printf '#!/bin/sh\necho "%s $*" >> "%s/calls"\n' "$tool" "$work" > "$fakebin/$tool"
    chmod 755 "$fakebin/$tool"
done
# Runs the package's maintainer scripts; postrm purge is left out, since it
# removes a file under /etc/systemd on this machine.
run_scripts() {
    : > "$work/calls"
    PATH="$fakebin:$PATH" sh -e "$control/postinst" configure ||
        fail "postinst configure (installation) failed"
    echo "--" >> "$work/calls"
    PATH="$fakebin:$PATH" sh -e "$control/postinst" configure 12.9.0 ||
        fail "postinst configure (upgrade) failed"
    echo "--" >> "$work/calls"
    PATH="$fakebin:$PATH" sh -e "$control/prerm" remove || fail "prerm remove failed"
    echo "--" >> "$work/calls"
    PATH="$fakebin:$PATH" sh -e "$control/postrm" remove || fail "postrm remove failed"
}
if [ -d /run/systemd/system ]; then
    note "systemd runs here: the run of the maintainer scripts without systemd is skipped"
else
    run_scripts
    if grep -Eq '^(systemctl|deb-systemd-invoke)' "$work/calls"; then
        cat "$work/calls"; fail "a maintainer script talked to systemd although it is not running"
    fi
    grep -q '^systemd-tmpfiles --create trvmountd.conf$' "$work/calls" ||
        { cat "$work/calls"; fail "postinst did not apply the tmpfiles.d snippet"; }
    pass "maintainer scripts without systemd: no call to systemctl or deb-systemd-invoke"
fi
# With systemd "running": /run replaced in a private mount namespace.
if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null 2>&1 &&
    unshare --mount --propagation private true 2>/dev/null; then
    export control fakebin work
    # shellcheck disable=SC2016 # expanded by the inner shell
    unshare --mount --propagation private sh -eu -c '
        mount -t tmpfs trvmountd-test /run
        mkdir -p /run/systemd/system
        : > "$work/calls"
        PATH="$fakebin:$PATH" sh -e "$control/postinst" configure
        echo "--" >> "$work/calls"
        PATH="$fakebin:$PATH" sh -e "$control/postinst" configure 12.9.0
        echo "--" >> "$work/calls"
        PATH="$fakebin:$PATH" sh -e "$control/prerm" remove
        echo "--" >> "$work/calls"
        PATH="$fakebin:$PATH" sh -e "$control/postrm" remove
    ' || fail "the maintainer scripts failed with systemd running"
    expected="systemd-tmpfiles --create trvmountd.conf
systemctl --system daemon-reload
--
systemd-tmpfiles --create trvmountd.conf
systemctl --system daemon-reload
deb-systemd-invoke try-restart trvmountd.service
--
deb-systemd-invoke stop trvmountd.service
--
systemctl --system daemon-reload"
    if [ "$(cat "$work/calls")" != "$expected" ]; then
        echo "calls:"; cat "$work/calls"; echo "expected:"; echo "$expected"
        fail "maintainer scripts with systemd running"
    fi
    pass "maintainer scripts with systemd: installation neither enables nor starts, upgrade restarts a running daemon, removal stops it"
else
    note "not root or no unshare: the run of the maintainer scripts with systemd running is skipped"
fi

# --- File list ----------------------------------------------------------------
echo "--- dpkg-deb -c"
dpkg-deb -c "$deb" | tee "$work/contents"
awk '$1 !~ /^d/ { print $1, $2, $6 }' "$work/contents" | sort > "$work/files"
sort > "$work/expected-files" <<'EOF'
-rw-r--r-- root/root ./etc/default/trvmountd
-rw-r--r-- root/root ./usr/lib/systemd/system/trvmountd.service
-rw-r--r-- root/root ./usr/lib/tmpfiles.d/trvmountd.conf
-rwxr-xr-x root/root ./usr/sbin/TRVMountd
-rw-r--r-- root/root ./usr/share/doc/trvmountd/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/trvmountd/copyright
-rw-r--r-- root/root ./usr/share/doc/trvmountd/examples/Settings.ini
-rw-r--r-- root/root ./usr/share/doc/trvmountd/examples/qrllog.ini
-rw-r--r-- root/root ./usr/share/man/man8/TRVMountd.8.gz
EOF
if ! diff -u "$work/expected-files" "$work/files"; then
    fail "the package's files differ from the expected list (- expected, + shipped)"
fi
if awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")' "$work/contents" | grep -q .; then
    fail "a directory is not root/root 0755"
fi
pass "file list"
if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error,warning "$deb" 2>&1 | grep -v 'running with root privileges' | tee "$work/lintian.log"
    [ -s "$work/lintian.log" ] && fail "lintian reported on the package"
    pass "lintian: no errors or warnings"
else
    note "lintian is missing (Debian package lintian): the package is not linted"
fi

# --- The daemon, unpacked --------------------------------------------------------
root=$work/root
dpkg -x "$deb" "$root"
daemon=$root/usr/sbin/TRVMountd
out=$("$daemon" --version) || fail "TRVMountd --version exited with $?"
echo "--- $daemon --version"
echo "$out"
[ "$out" = "TRVMount v$version" ] || fail "--version printed '$out'"
status=0
out=$("$daemon") || status=$?
[ "$status" -eq 1 ] && [ "$out" = "Invalid mode" ] ||
    fail "without -m: status $status, output '$out' (the service relies on status 1 here)"
if readelf -d "$daemon" | grep NEEDED | grep -Eq 'asan|ubsan|tsan|lsan'; then
    fail "the shipped daemon is linked against a sanitizer run time"
fi
if readelf --dyn-syms "$daemon" | grep -Eq '__(asan|ubsan)_'; then
    fail "the shipped daemon holds sanitizer symbols"
fi
pass "the unpacked daemon runs and is not a sanitizer build"

# --- Service unit ---------------------------------------------------------------
unit=$root/usr/lib/systemd/system/trvmountd.service
settings=$(grep -Ev '^[[:space:]]*(#|;|$)' "$unit")
setting() { printf '%s\n' "$settings" | sed -n "s/^$1=//p"; }
# shellcheck disable=SC2016 # the unit's literal text
[ "$(setting ExecStart)" = '/usr/sbin/TRVMountd $TRVMOUNTD_OPTS' ] ||
    fail "ExecStart is '$(setting ExecStart)'"
[ "$(setting EnvironmentFile)" = '-/etc/default/trvmountd' ] ||
    fail "EnvironmentFile is '$(setting EnvironmentFile)'"
[ "$(setting Environment)" = '"TRVMOUNTD_OPTS=-m 2 -k"' ] ||
    fail "Environment is '$(setting Environment)'"
grep -qx '#TRVMOUNTD_OPTS="-m 2 -k"' "$root/etc/default/trvmountd" ||
    fail "the environment file lacks the commented default"
[ "$(setting Type)" = notify ] || fail "Type is '$(setting Type)'"
[ "$(setting Restart)" = always ] || fail "Restart is '$(setting Restart)'"
[ "$(setting RestartPreventExitStatus)" = 1 ] || fail "RestartPreventExitStatus is not 1"
setting After | grep -qw local-fs.target || fail "not ordered after local-fs.target"
[ "$(setting WantedBy)" = multi-user.target ] || fail "WantedBy is '$(setting WantedBy)'"
# The links must be made in the /tmp that every program sees, and the mount
# table read must be the system's: no setting that gives the service its own
# mount namespace or another identity.
for name in PrivateTmp PrivateMounts PrivateDevices PrivateNetwork PrivateUsers PrivateIPC \
    ProtectSystem ProtectHome ProtectKernelTunables ProtectKernelModules ProtectKernelLogs \
    ProtectControlGroups ProtectHostname ProtectProc ProcSubset ReadOnlyPaths ReadWritePaths \
    InaccessiblePaths ExecPaths NoExecPaths TemporaryFileSystem BindPaths BindReadOnlyPaths \
    RootDirectory RootImage MountFlags NetworkNamespacePath IPCNamespacePath MountImages \
    ExtensionImages DynamicUser User Group; do
    if printf '%s\n' "$settings" | grep -q "^$name="; then
        fail "the unit sets $name, which would hide the daemon's links or mount table or change its identity"
    fi
done
pass "unit paths, restart and no private file-system view"
if command -v systemd-analyze >/dev/null 2>&1; then
    # The package is not installed here: the copy names the unpacked daemon,
    # and man finds the unpacked page.
    mkdir -p "$work/unit"
    sed "s#^ExecStart=/usr/sbin/TRVMountd #ExecStart=$daemon #" "$unit" > "$work/unit/trvmountd.service"
    status=0
    (cd "$work/unit" && MANPATH="$root/usr/share/man:" systemd-analyze verify trvmountd.service) \
        >"$work/verify.log" 2>&1 || status=$?
    echo "--- systemd-analyze verify trvmountd.service (exit status $status)"
    cat "$work/verify.log"
    [ "$status" -eq 0 ] || fail "systemd-analyze verify"
    if grep -q trvmountd "$work/verify.log"; then
        fail "systemd-analyze verify reported on trvmountd.service"
    fi
    pass "systemd-analyze verify"
    if (cd "$work/unit" && systemd-analyze security --offline=true trvmountd.service) \
        >"$work/security.log" 2>&1; then
        grep 'Overall exposure' "$work/security.log" || true
    fi
else
    note "systemd-analyze is missing (Debian package systemd): the unit is not verified"
fi

# --- tmpfiles.d snippet --------------------------------------------------------
snippet=$root/usr/lib/tmpfiles.d/trvmountd.conf
if command -v systemd-tmpfiles >/dev/null 2>&1; then
    # A scratch root whose /tmp is cleaned of everything older than a second,
    # plus the snippet.
    fake=$work/tmpfiles-root
    mkdir -p "$fake/usr/lib/tmpfiles.d" "$fake/tmp"
    chmod 1777 "$fake/tmp"
    cp "$snippet" "$fake/usr/lib/tmpfiles.d/trvmountd.conf"
    echo 'd /tmp 1777 root root 1s' > "$fake/usr/lib/tmpfiles.d/tmp.conf"
    systemd-tmpfiles --root="$fake" --create >"$work/tmpfiles.log" 2>&1 ||
        { cat "$work/tmpfiles.log"; fail "systemd-tmpfiles --create with the snippet"; }
    [ -d "$fake/tmp/.VKTMassStorageInfo" ] && [ "$(stat -c '%a %U' "$fake/tmp/.VKTMassStorageInfo")" = "755 root" ] ||
        fail "the snippet does not make the info directory, root's, mode 0755"
    t=$fake/tmp
    : > "$t/ZentrixTRV_NotConnected"
    : > "$t/ZentrixSilvenmar_NotConnected"
    ln -s /tmp/ZentrixTRV_NotConnected "$t/ZentrixTRV"
    ln -s /media/usb0 "$t/ZentrixSilvenmar"
    ln -s /media/usb0 "$t/ZentrixTRV.tmp"
    : > "$t/.VKTMassStorageInfo/.VKT_sdb1_0"
    : > "$t/unrelated-file"
    ln -s /nowhere "$t/unrelated-link"
    for entry in ZentrixTRV_NotConnected ZentrixSilvenmar_NotConnected ZentrixTRV ZentrixSilvenmar \
        ZentrixTRV.tmp .VKTMassStorageInfo/.VKT_sdb1_0 .VKTMassStorageInfo unrelated-file unrelated-link; do
        touch -h -d '2 days ago' "$t/$entry"
    done
    sleep 2
    systemd-tmpfiles --root="$fake" --clean >>"$work/tmpfiles.log" 2>&1 ||
        { cat "$work/tmpfiles.log"; fail "systemd-tmpfiles --clean"; }
    [ ! -e "$t/unrelated-file" ] && [ ! -L "$t/unrelated-link" ] ||
        fail "the cleaning did not run (unrelated old entries are still there)"
    for entry in ZentrixTRV_NotConnected ZentrixSilvenmar_NotConnected ZentrixTRV ZentrixSilvenmar \
        ZentrixTRV.tmp .VKTMassStorageInfo/.VKT_sdb1_0; do
        [ -e "$t/$entry" ] || [ -L "$t/$entry" ] || fail "age-based cleaning removed /tmp/$entry"
    done
    pass "tmpfiles.d: age-based cleaning spares the links, placeholders and info directory"
else
    note "systemd-tmpfiles is missing (Debian package systemd): the snippet is not exercised"
fi

# --- Manual page -----------------------------------------------------------------
page=$root/usr/share/man/man8/TRVMountd.8.gz
gzip -dc "$page" > "$work/TRVMountd.8"
head -n 5 "$work/TRVMountd.8" | grep -q "^\.TH TRVMOUNTD 8 .*\"TRVMountd $version\"" ||
    fail "the page's .TH line lacks section 8 or the version $version"
groff -man -ww -z "$work/TRVMountd.8" >"$work/groff.log" 2>&1 || { cat "$work/groff.log"; fail "groff -ww"; }
[ -s "$work/groff.log" ] && { cat "$work/groff.log"; fail "groff -man -ww -z warned"; }
pass "groff -man -ww -z: no warnings"
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >"$work/man.txt" 2>"$work/man.log" ||
    { cat "$work/man.log"; fail "man -l"; }
[ -s "$work/man.log" ] && { cat "$work/man.log"; fail "man --warnings -l warned"; }
grep -q 'TRVMountd' "$work/man.txt" || fail "man -l rendered nothing"
pass "man --warnings -l: no warnings"
if command -v mandoc >/dev/null 2>&1; then
    mandoc -T lint -W warning "$work/TRVMountd.8" || fail "mandoc -T lint"
    pass "mandoc -T lint: clean"
else
    note "mandoc is missing (Debian package mandoc): its lint is not run"
fi
# Every option of the daemon's command line is documented.
settings_source=$src/TRVMount/settings/Settings.cpp
longs=$(sed -n 's/^ *{{"\([a-z_0-9]*\)", .*/\1/p' "$settings_source")
[ -n "$longs" ] || fail "no long options found in $settings_source"
shorts=$(sed -n 's/^const char kShortOptions\[\] = "\(.*\)";/\1/p' "$settings_source" | tr -d ':' | sed 's/./& /g')
[ -n "$shorts" ] || fail "no short options found in $settings_source"
for name in $longs; do
    grep -q "\\\\-\\\\-$name" "$work/TRVMountd.8" || fail "the page does not document --$name"
done
for letter in $shorts; do
    grep -q "^\.B[IR]* \\\\-$letter\\b" "$work/TRVMountd.8" || fail "the page does not document -$letter"
done
pass "the page documents every option: $(printf '%s' "$longs" | tr '\n' ' ') and -$(printf '%s' "$shorts" | tr -d ' ')"

echo "PASS"
