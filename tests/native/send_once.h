#pragma once
// One send through a port object of its own, which must be closed again when the send returns.
#include <gtest/gtest.h>

#include "send.h"

namespace orvanta::test {

inline SendOutcome send(const std::string& port, const std::string& path, SendOptions options = {})
{
    SerialPort place;
    SendOutcome outcome = send_file(place, port, path, options);
    EXPECT_FALSE(place.is_open()) << "the port must be closed when the send returns";
    return outcome;
}

}  // namespace orvanta::test
