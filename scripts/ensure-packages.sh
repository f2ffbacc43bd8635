#!/bin/sh
# Installs the Debian packages named on the command line that are missing.
# As root it runs apt-get itself; otherwise it prints the exact command to run
# and fails, so nothing half-installed is left behind.
set -eu

missing=""
for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages:$missing" >&2
    echo "Install them with:" >&2
    echo "  sudo apt-get install -y$missing" >&2
    exit 1
fi

echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
# A fresh machine may have no package lists yet; fetch them once and retry.
# shellcheck disable=SC2086
if ! apt-get install -y --no-install-recommends $missing; then
    apt-get update
    apt-get install -y --no-install-recommends $missing
fi
