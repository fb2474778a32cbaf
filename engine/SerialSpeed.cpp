// The kernel's termios2 definitions clash with the C library's <termios.h>,
// so this file includes only the former.
#include "engine/SerialSpeed.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace tarvik {

int setSerialSpeed(int fd, unsigned speed) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return errno;
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = speed;
    settings.c_ospeed = speed;
    if (ioctl(fd, TCSETS2, &settings) != 0) return errno;
    return 0;
}

} // namespace tarvik
