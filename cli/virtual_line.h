#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "serial_port.h"

namespace orvanta {

// A serial line with no hardware: a pseudo-terminal pair whose sender's end is reached through
// a symbolic link, so a sender opens the link as it would a port. The link goes with the object.
class VirtualLine {
public:
    VirtualLine() = default;
    ~VirtualLine();
    VirtualLine(const VirtualLine&) = delete;
    VirtualLine& operator=(const VirtualLine&) = delete;

    // Creates the pair and points link at the sender's end; an empty result means success.
    std::string create(const std::string& link);

    // Reads what the sender wrote, as SerialPort::read does.
    TransferResult read(std::uint8_t* data, std::size_t size, int timeout_ms);

    const std::string& device() const { return device_; }

private:
    int receiver_ = -1;   // the end this program reads
    int sender_ = -1;     // held open so that the line survives each sender's close
    std::string link_;
    std::string device_;
};

}  // namespace orvanta
