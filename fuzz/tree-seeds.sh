#!/bin/sh
# tree-seeds.sh FIXTURES OUT writes each tree FIXTURES/<name>/ as the seed OUT/<name> (see README.md).
set -eu
mkdir -p "$2"
for tree in "$1"/*/; do
    (cd "$tree" && find sys -type l -printf '=> %p %l\n' && find sys -type f -printf '== %p\n' -exec cat {} \;) \
        >"$2/$(basename "$tree")"
done
