// The progress line: counts, percent, and once the send has run a quarter of a second, the rate
// and the time left (or, at the end, the time the whole took).
#include <gtest/gtest.h>

#include "progress_meter.h"

namespace orvanta {
namespace {

TEST(ProgressText, Table)
{
    struct Case {
        std::size_t done, total;
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        {0, 65537, 0.0, "0 of 65,537 bytes  0%"},
        {4096, 65537, 0.2, "4,096 of 65,537 bytes  6%"},
        {0, 65537, 3.0, "0 of 65,537 bytes  0%"},
        {11520, 65537, 1.0, "11,520 of 65,537 bytes  17%  11.5 kB/s  4.7 s left"},
        {65536, 65537, 5.7, "65,536 of 65,537 bytes  99%  11.5 kB/s  0.0 s left"},
        {65537, 65537, 5.69, "65,537 of 65,537 bytes  100%  11.5 kB/s  in 5.7 s"},
        {300, 65537, 10.0, "300 of 65,537 bytes  0%  30 B/s  36 min 15 s left"},
        {2000000, 4000000, 1.0, "2,000,000 of 4,000,000 bytes  50%  2.0 MB/s  1.0 s left"},
        {2, 2, 0.01, "2 of 2 bytes  100%"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(progress_text(c.done, c.total, c.seconds), c.text);
}

}  // namespace
}  // namespace orvanta
