#!/usr/bin/env bash
# The system's main job (./run.sh without arguments): boots the OS (kez-host) with its four
# modules (Sockra, Brontel, Durnix, Morvel) and runs the demo application in the device window.
# It prepares a system folder (kez-host and the modules beside an "autoload" folder holding one
# database per module and the demo), a host folder that the OS shows as a card volume, and a
# server on 127.0.0.1 port 17007 that answers each connection with one line, for the demo's
# "Fetch" button. The debugger attaches with `./run.sh quillwatch 127.0.0.1` once the demo is
# stopped with Ctrl+Shift+B in the device window (the link listens on 127.0.0.1 port 2000).
# Without a display the OS runs on a virtual one (xvfb-run) when that is installed.
#   tools/main-job.sh BIN_DIR [kez-host options...]
# Environment:
#   VANTOR_DEMO_DIR        the system folder (default: BIN_DIR/../demo-system); the card volume is
#                          its folder "Card"
#   VANTOR_DEBUGGER_LINK   the debugger's link (default: tcp-listen:2000)
#   VANTOR_DEMO_LINE       the line the server answers
set -euo pipefail
bin="$(cd "${1:?usage: tools/main-job.sh BIN_DIR [kez-host options...]}" && pwd)"
shift
dir="${VANTOR_DEMO_DIR:-$bin/../demo-system}"
mkdir -p "$dir/autoload" "$dir/Card"
dir="$(cd "$dir" && pwd)"

for file in kez-host libKez.so libVantorOS.so libSockra.so libBrontel.so libDurnix.so libMorvel.so \
            apps/VantorDemo.vrx; do
    if [ ! -f "$bin/$file" ]; then
        echo "main job: $bin/$file is missing (build the programs first)" >&2
        exit 2
    fi
done
cp -f "$bin/kez-host" "$bin"/lib{Kez,VantorOS,Sockra,Brontel,Durnix,Morvel}.so "$dir/"
cp -f "$bin/apps/VantorDemo.vrx" "$dir/autoload/"

# A module's database: an 80-byte resource database header without resources, whose name is the
# module's file name, of the module's type and creator.
module_db() {
    local name="$1" type="$2" creator="$3" out="$4"
    {
        printf '%s' "$name"
        head -c $((32 - ${#name})) /dev/zero
        printf '\000\001\000\001'     # attributes: resource database; version 1
        head -c 24 /dev/zero          # dates, modification number, application and sort info
        printf '%s%s' "$type" "$creator"
        head -c 10 /dev/zero          # unique ID seed, next record list, no resources
        head -c 2 /dev/zero
    } > "$out"
}
module_db libSockra.dll libr sokr "$dir/autoload/Sockra.vrx"
module_db libBrontel.dll trel brtl "$dir/autoload/Brontel.vrx"
module_db libDurnix.dll libf drnx "$dir/autoload/Durnix.vrx"
module_db libMorvel.dll libr a68k "$dir/autoload/Morvel.vrx"

[ -f "$dir/demo.rom" ] || "$dir/kez-host" --make-rom "$dir/demo.rom" > /dev/null
rm -f "$dir/storage.img"  # each run starts from a fresh storage

line="${VANTOR_DEMO_LINE:-Hello from 127.0.0.1}"
python3 - "$line" <<'EOF' &
import socket, sys
line = (sys.argv[1] + "\n").encode()
server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
try:
    server.bind(("127.0.0.1", 17007))
except OSError as e:
    sys.exit("main job: the demo server cannot listen on 127.0.0.1:17007: %s" % e)
server.listen(4)
while True:
    connection, _ = server.accept()
    try:
        connection.sendall(line)
    except OSError:
        pass
    connection.close()
EOF
server=$!
cleanup() { kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; }
trap cleanup EXIT

export VANTOR_DEBUGGER_LINK="${VANTOR_DEBUGGER_LINK:-tcp-listen:2000}"
cmd=("$dir/kez-host" --rom "$dir/demo.rom" --storage "$dir/storage.img" --launch "Vantor Demo")
if "$dir/kez-host" --help | grep -q -- --card-folder; then
    cmd+=(--card-folder "$dir/Card")
else
    echo "main job: this kez-host has no card folder; the demo's \"Save\" finds no volume" >&2
fi
cmd+=("$@")
echo "main job: the OS boots from $dir; the card volume is $dir/Card"
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run > /dev/null; then
    xvfb-run -a "${cmd[@]}"
else
    "${cmd[@]}"
fi
