// The output speed the kernel holds for a terminal, read through termios2, which also carries
// rates that stty cannot name; in a file of its own because <asm/termbits.h> clashes with
// <termios.h>.
#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>

namespace quillwatch::test {

uint32_t KernelOutputSpeed(const char* path) {
    int fd = open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    termios2 t{};
    uint32_t speed = ioctl(fd, TCGETS2, &t) == 0 ? t.c_ospeed : 0;
    close(fd);
    return speed;
}

}  // namespace quillwatch::test
