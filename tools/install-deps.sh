#!/usr/bin/env bash
# Installs the Debian packages of deps/debian-packages.txt that are missing. A warm machine
# finishes after one dpkg-query; apt runs only when something is missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
mapfile -t wanted < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$top/deps/debian-packages.txt" | grep -v '^$')

# One dpkg-query for the whole list. A name without ":arch" may be installed for several
# architectures (libgtk2.0-dev for amd64 and i386): any installed one will do. dpkg names the
# native architecture's packages without a suffix and foreign ones with ":arch".
declare -A installed=()
while read -r name arch status; do
    [ "$status" = installed ] || continue
    installed["$name"]=1
    installed["$name:$arch"]=1
done < <(dpkg-query -W -f='${Package} ${Architecture} ${db:Status-Status}\n' "${wanted[@]}" 2>/dev/null || true)
missing=()
for pkg in "${wanted[@]}"; do
    [ -n "${installed[$pkg]:-}" ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
