#!/usr/bin/env bash
# The system's main job (./run.sh without arguments): boots the bundled demo ROM on the emulated
# board and shows what the ROM prints on the console. The run ends after five emulated seconds.
# Without a display the emulator runs on a virtual one (xvfb-run) when that is installed.
#   tools/main-job.sh BIN_DIR
set -euo pipefail
bin="${1:?usage: tools/main-job.sh BIN_DIR}"
cmd=("$bin/tamsk" "-ROM:$bin/roms/demo.aei" -EnableConsole:true -TimeLimit:5 -SerialPort:none)
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    exec xvfb-run -a "${cmd[@]}"
fi
exec "${cmd[@]}"
