#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "serial_port.h"

namespace orvanta {

// A serial line with no hardware: a pseudo-terminal pair whose sender's end is reached through a
// symbolic link, so a sender opens the link as it would a port (POSIX only). The link is never put
// in place of anything but a link left dangling by an earlier line, and it goes with the object,
// unless someone has replaced it meanwhile.
class VirtualLine {
public:
    struct Created {
        enum class Status {
            Ready,
            Unsupported,  // this platform has no pseudo-terminals
            NoPair,       // the system would not make a pair: error
            NotALink,     // the name stands for something that is not a link
            InUse,        // the name links to a device that exists: target
            LinkFailed,   // the link could not be made: error
        } status = Status::Ready;
        SystemError error;
        std::string target;  // with InUse: where the existing link points
    };

    VirtualLine();
    ~VirtualLine();
    VirtualLine(const VirtualLine&) = delete;
    VirtualLine& operator=(const VirtualLine&) = delete;

    // Creates the pair and links link to the sender's end.
    Created create(const std::string& link);

    // Reads what the sender wrote, as SerialPort::read does.
    TransferResult read(std::uint8_t* data, std::size_t size, int timeout_ms);

    // The device the link points to.
    const std::string& device() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvanta
