#include "line_diff.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace orvanta::test {

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace

// The longest common subsequence of the lines, by the textbook table: the dumps it compares are
// a few dozen lines.
std::string line_diff(const std::string& expected, const std::string& actual)
{
    const std::vector<std::string> a = lines_of(expected), b = lines_of(actual);
    // common[i][j]: the length of the longest common subsequence of a[i..] and b[j..].
    std::vector<std::vector<std::size_t>> common(a.size() + 1,
                                                 std::vector<std::size_t>(b.size() + 1, 0));
    for (std::size_t i = a.size(); i-- > 0;) {
        for (std::size_t j = b.size(); j-- > 0;)
            common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1
                                        : std::max(common[i + 1][j], common[i][j + 1]);
    }
    std::string out;
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            out += "  " + a[i++] + "\n";
            ++j;
        } else if (i < a.size() && (j == b.size() || common[i + 1][j] >= common[i][j + 1])) {
            out += "- " + a[i++] + "\n";
        } else {
            out += "+ " + b[j++] + "\n";
        }
    }
    return out;
}

}  // namespace orvanta::test
