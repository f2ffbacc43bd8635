#!/bin/sh
# The release: for each architecture (all four without arguments: amd64 i386 arm64 armhf) a fully static, stripped
# TRVMountd built with Debian's compilers (cross compilers for all but amd64; large-file and 64-bit time on 32 bits),
# packed twice in build/release/:
#   trvmountd-<version>-linux-<arch>.tar.gz   the binary, manual page, init script, systemd unit, options file,
#                                             tmpfiles.d snippet, examples and INSTALL, for clients without dpkg
#   trvmountd_<version>_<arch>.deb            the Debian package with the static binary (lintian-clean: checked when
#                                             lintian is there, as the binary's lack of a dynamic section always is)
# Installs the Debian packages it misses, as the other scripts do.   ./scripts/release.sh [ARCH...]
set -eu
cd "$(dirname "$0")/.."
arches=${*:-amd64 i386 arm64 armhf}
triplet() {
    case $1 in
    amd64) echo x86_64-linux-gnu ;; i386) echo i686-linux-gnu ;; arm64) echo aarch64-linux-gnu ;;
    armhf) echo arm-linux-gnueabihf ;; *) echo "unknown architecture: $1" >&2 && exit 2 ;;
    esac
}
compilers=""
for arch in $arches; do
    [ "$arch" = amd64 ] && [ "$(dpkg --print-architecture)" = amd64 ] && compilers="$compilers g++" ||
        compilers="$compilers g++-$(triplet "$arch")"
done
# shellcheck disable=SC2086
sh scripts/ensure-packages.sh cmake ninja-build libsimpleini-dev dpkg-dev gzip binutils $compilers

version=$(sed -n 's/^project(TRVMountd VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=build/release
mkdir -p "$out"
for arch in $arches; do
    tree=$out/$arch cxx=$(triplet "$arch")-g++
    rm -rf "$tree"
    command -v "$cxx" >/dev/null || cxx=g++
    cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DTRV_BUILD_TESTS=OFF -DTRV_STATIC=ON \
        -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_COMPILER="$cxx" -DTRV_PACKAGE_ARCHITECTURE="$arch" >/dev/null
    cmake --build "$tree"
    # A release binary needs nothing but the kernel.
    readelf -d "$tree/TRVMount/TRVMountd" | grep -q 'no dynamic section' || { echo "$arch: not static" >&2; exit 1; }
    (cd "$tree" && cpack -G DEB -B "$PWD/cpack" >/dev/null) && cp "$tree/cpack/trvmountd_${version}_$arch.deb" "$out/"

    # The archive: one directory, the same bytes for the same sources.
    name=trvmountd-$version-linux-$arch stage=$tree/stage/trvmountd-$version-linux-$arch
    floor=$(readelf -n "$tree/TRVMount/TRVMountd" | sed -n 's/.*OS: Linux, ABI: \([0-9.]*\).*/\1/p')
    rm -rf "$tree/stage" && mkdir -p "$stage/examples"
    cp "$tree/TRVMount/TRVMountd" "$tree/packaging/TRVMountd.8" "$stage/"
    cp packaging/sysv/trvmountd "$stage/trvmountd.init"
    cp "$tree/packaging/trvmountd.service" "$stage/trvmountd.service"
    cp packaging/default/trvmountd "$stage/trvmountd.default"
    cp packaging/tmpfiles/trvmountd.conf "$stage/trvmountd.tmpfiles"
    cp packaging/examples/* "$stage/examples/"
    sed "s/@TRV_VERSION@/$version/; s/@TRV_ARCH@/$arch/; s/@TRV_KERNEL_FLOOR@/$floor/" packaging/tarball/INSTALL >"$stage/INSTALL"
    chmod 0755 "$stage/TRVMountd" "$stage/trvmountd.init"
    tar -C "$tree/stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 -cf - "$name" | gzip -9 -n >"$out/$name.tar.gz"
    if command -v lintian >/dev/null; then
        lintian --fail-on error,warning "$out/trvmountd_${version}_$arch.deb" | grep -v 'root privileges' && exit 1
    fi
    echo "$out/$name.tar.gz $out/trvmountd_${version}_$arch.deb: $(stat -c %s "$stage/TRVMountd") bytes, Linux $floor or later"
done
