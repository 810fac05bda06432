/* Prints the machine the kernel reports to an i386 program: x86_64 when it runs natively on an
   x86-64 kernel, i686 under qemu-i386 user emulation. */
#include <stdio.h>
#include <sys/utsname.h>

int main(void) {
    struct utsname u;
    if (uname(&u) != 0) return 1;
    puts(u.machine);
    return 0;
}
