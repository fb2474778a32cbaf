#pragma once

namespace tarvik {

// Sets the input and output speed of a serial line to any rate the driver
// accepts, including non-standard ones. Returns 0 or an errno value.
int setSerialSpeed(int fd, unsigned speed);

} // namespace tarvik
