// Kept apart: the kernel's termios2 header clashes with the C library's <termios.h>.
#include "SpeedProbe.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tarvik::test {

unsigned outputSpeed(int fd) {
    struct termios2 settings {};
    return ioctl(fd, TCGETS2, &settings) == 0 ? settings.c_ospeed : 0;
}

} // namespace tarvik::test
