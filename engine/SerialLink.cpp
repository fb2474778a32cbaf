#include "engine/SerialLink.h"

#include "engine/Failure.h"
#include "engine/SerialSpeed.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace tarvik {

namespace {

tcflag_t dataBitsFlag(int bits) {
    switch (bits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

// Standard rates keep their classic constants, which every driver understands.
speed_t standardSpeed(unsigned speed) {
    static const std::pair<unsigned, speed_t> table[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000}};
    for (const auto& [rate, constant] : table)
        if (rate == speed) return constant;
    return B0;
}

void configure(int fd, const SerialConfig& config) {
    struct termios settings {};
    if (tcgetattr(fd, &settings) != 0) throw std::system_error(errno, std::generic_category());
    cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD | dataBitsFlag(config.dataBits);
    if (config.parity != Parity::None) settings.c_cflag |= PARENB;
    if (config.parity == Parity::Odd) settings.c_cflag |= PARODD;
    if (config.stopBits == 2) settings.c_cflag |= CSTOPB;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (config.flow == FlowControl::XonXoff) settings.c_iflag |= IXON | IXOFF;
    if (config.flow == FlowControl::RtsCts) settings.c_cflag |= CRTSCTS;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    const speed_t standard = standardSpeed(config.speed);
    if (standard != B0) {
        cfsetispeed(&settings, standard);
        cfsetospeed(&settings, standard);
    }
    if (tcsetattr(fd, TCSANOW, &settings) != 0) throw std::system_error(errno, std::generic_category());
    // After tcsetattr, which would otherwise put a classic rate back.
    if (standard == B0) {
        if (int error = setSerialSpeed(fd, config.speed); error != 0)
            throw std::system_error(error, std::generic_category());
    }
}

} // namespace

SerialLink::SerialLink(const std::string& device, const SerialConfig& config) : device_(device) {
    const std::string inUse = "cannot open " + device + ": the device is in use by another program";
    fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0 && errno == EBUSY) throw Failure(inUse);
    if (fd_ < 0) throw Failure("cannot open " + device + ": " + std::strerror(errno));
    // The line is ours alone: TIOCEXCL refuses further opens (except to the
    // superuser), and the lock is the convention other serial programs check.
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(fd_);
        throw Failure(inUse);
    }
    ioctl(fd_, TIOCEXCL);
    try {
        configure(fd_, config);
    } catch (const std::system_error& e) {
        close(fd_);
        throw Failure("cannot configure " + device + ": " + std::strerror(e.code().value()));
    }
}

SerialLink::~SerialLink() {
    ioctl(fd_, TIOCNXCL);
    close(fd_);
}

int SerialLink::readFailed(int error) {
    Console::message("lost " + device_ + ": " + std::strerror(error));
    return 1;
}

} // namespace tarvik
