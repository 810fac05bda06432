#!/usr/bin/env bash
# Makes sure this machine can execute the os32 (i386) programs, and says how they run.
#
# Some kernels refuse every 32-bit program ("Exec format error"). There the i386 programs run under
# qemu-i386 user emulation, registered for i386 ELF files through binfmt_misc, so that build-time
# tools, test discovery, tests that start other programs and ./run.sh all work unchanged. The
# registration is made only when a tiny i386 program cannot execute natively (or an i386 entry
# that is not ours already runs them), and only once: on a machine that runs i386 natively
# nothing changes.
#
# Prints one line when the OS side runs emulated; stops with the cause when it cannot run at all.
# Needs the multilib compiler (tools/install-deps.sh installs it) and, to register, root.
set -euo pipefail

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/probe.c" <<'EOF'
#include <stdio.h>
#include <sys/utsname.h>
int main(void) {
    struct utsname u;
    if (uname(&u) != 0) return 1;
    puts(u.machine);
    return 0;
}
EOF
if ! gcc -m32 -o "$work/probe" "$work/probe.c" 2>"$work/cc.log"; then
    echo "The i386 compiler does not work (gcc -m32): install g++-12-multilib (tools/install-deps.sh)." >&2
    cat "$work/cc.log" >&2
    exit 1
fi

# An i386 program natively on x86-64 sees the kernel's machine, x86_64; under qemu-i386 it sees i686.
probe() { "$work/probe" 2>/dev/null; }

# The interpreter binfmt_misc starts: qemu-i386 with a 3 GiB address space, what an i386 program
# expects of a 32-bit kernel (the address sanitizer among them, which otherwise fails once the
# emulator hands out memory above 3 GiB).
wrapper=/usr/local/lib/vantor/qemu-i386-3g
binfmt=/proc/sys/fs/binfmt_misc
registered() { [ -e "$binfmt/qemu-i386" ] && grep -qx "interpreter $wrapper" "$binfmt/qemu-i386"; }

machine=$(probe) || machine=""
if [ -z "$machine" ] || { [ -e "$binfmt/qemu-i386" ] && ! registered; }; then
    qemu=$(command -v qemu-i386 || true)
    why=""
    if [ -z "$qemu" ]; then
        why="qemu-i386 is not installed (Debian package qemu-user)"
    elif [ "$(id -u)" -ne 0 ]; then
        why="registering qemu-i386 with binfmt_misc needs root"
    else
        if [ ! -e "$binfmt/register" ]; then
            mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || why="binfmt_misc cannot be mounted"
        fi
        if [ -z "$why" ]; then
            mkdir -p "$(dirname "$wrapper")"
            printf '#!/bin/sh\nexec %s -R 0xc0000000 "$@"\n' "$qemu" >"$wrapper.new"
            chmod 755 "$wrapper.new"
            mv "$wrapper.new" "$wrapper"
            # Another entry for i386 (qemu-user-binfmt's, or an older one of ours) gives way.
            [ -e "$binfmt/qemu-i386" ] && ! registered && echo -1 >"$binfmt/qemu-i386"
            if [ ! -e "$binfmt/qemu-i386" ]; then
                # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386). "F"
                # opens the interpreter now, so that it is found from any mount namespace.
                magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
                mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
                printf ':qemu-i386:M::%s:%s:%s:F\n' "$magic" "$mask" "$wrapper" >"$binfmt/register" 2>/dev/null ||
                    why="binfmt_misc refused the qemu-i386 entry"
            fi
        fi
        if [ -z "$why" ] && ! head -1 "$binfmt/qemu-i386" | grep -qx enabled; then
            echo 1 >"$binfmt/qemu-i386" 2>/dev/null || why="the qemu-i386 entry of binfmt_misc cannot be enabled"
        fi
    fi
    machine=$(probe) || machine=""
    if [ -z "$machine" ]; then
        echo "This kernel refuses 32-bit (i386) programs, and the OS side cannot run emulated either: ${why:-qemu-i386 did not run the probe}." >&2
        exit 1
    fi
fi
case "$machine" in
    i?86) echo "The OS side (i386) runs emulated under qemu-i386: this kernel cannot execute 32-bit programs." ;;
esac
exit 0
