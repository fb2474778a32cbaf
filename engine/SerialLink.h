#pragma once

#include "engine/Link.h"
#include "engine/Options.h"

namespace tarvik {

// A serial device in raw mode with the requested line settings.
class SerialLink : public Link {
  public:
    // Throws Failure naming the device.
    SerialLink(const std::string& device, const SerialConfig& config);
    ~SerialLink() override;

    int descriptor() const override { return fd_; }
    int readFailed(int error) override;

  private:
    std::string device_;
    int fd_ = -1;
};

} // namespace tarvik
