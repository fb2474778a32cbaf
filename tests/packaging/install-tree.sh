#!/usr/bin/env bash
# install-tree.sh BUILD ROOT: installs BUILD under ROOT with the package's prefix.
set -euo pipefail
build=$1 root=$2
rm -rf "$root"
DESTDIR="$root" cmake --install "$build" --prefix /usr > "$root.log"
find "$root" -mindepth 1 -printf '%P\n' | sort
