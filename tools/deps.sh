#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the editor, or the PACKAGEs named:
#   tools/deps.sh [PACKAGE...]
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=("$@")
[ ${#packages[@]} -gt 0 ] || packages=(
    build-essential cmake pkg-config
    qt6-base-dev libgl-dev libcanberra-dev sound-theme-freedesktop fonts-dejavu-core fonts-wine
    libcli11-dev
    # a saved file keeps its ACL (libacl); the tests set ACLs and extended attributes up
    libacl1-dev acl attr
    libgtest-dev libgmock-dev libbenchmark-dev
    # the CSV test reads the tool's output back with Python's csv module
    python3
    clang libclang-rt-14-dev
    locales
    # the Debian package (icons, computed dependencies) and the checks of its installation
    librsvg2-bin dpkg-dev
    desktop-file-utils appstream shared-mime-info xdg-utils libfile-mimeinfo-perl man-db file
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
