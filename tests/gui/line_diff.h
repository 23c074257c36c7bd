#pragma once
// The difference of two texts line by line, for a test's failure message.
#include <string>

namespace orvanta::test {

// Every line of both texts in order: "  " for a line both have, "- " for one only expected has,
// "+ " for one only actual has.
std::string line_diff(const std::string& expected, const std::string& actual);

}  // namespace orvanta::test
