#!/bin/bash
# Starts quillwatch on the display with the emulator link to 127.0.0.1:PORT, types att, reg and
# dm 0 40 into its Debugger window with xdotool, waits until the device simulator's log shows the
# memory read, and ends the program with SIGTERM. The windows' texts land in DIR/dump.
#   gui_session.sh QUILLWATCH PORT DIR LOG
set -u
qw=$1 port=$2 dir=$3 log=$4
cd "$dir" || exit 2
ASAN_OPTIONS=detect_leaks=0 WIN32_STANDIN_TEXT_DUMP="$dir/dump" "$qw" "127.0.0.1:$port" > "$dir/qw.out" 2>&1 &
qwpid=$!
wid=$(timeout 30 xdotool search --sync --name "Vantor Debugger" | head -1)
[ -n "$wid" ] || { kill -TERM $qwpid; echo "no window"; exit 1; }
xdotool windowfocus --sync "$wid"
for line in "att" "reg" "dm 0 40"; do
    xdotool type --delay 10 "$line"
    xdotool key Return
done
for i in $(seq 300); do grep -q "read 00000000 64" "$log" 2>/dev/null && break; sleep 0.1; done
sleep 0.3
kill -TERM $qwpid
wait $qwpid
echo "exit $?"
