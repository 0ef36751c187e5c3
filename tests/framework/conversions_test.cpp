#include "conversions.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

TEST(Conversions, TruncateToInt32)
{
    const struct {
        double value;
        int32_t expected;
    } cases[] = {
        {12345.9, 12345}, {-0.7, 0}, {-1300.0, -1300}, {-0.0, 0},
        {2147483647.9, 2147483647}, {-2147483648.9, -2147483648},
        {2147483648.0, 0}, {-2147483649.0, 0}, {1e308, 0}, {-1e308, 0},
        {NaN, 0}, {Inf, 0}, {-Inf, 0}, {5e-324, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(gauge::truncateToInt32(c.value), c.expected) << c.value;
}

TEST(Conversions, TruncateToInt64)
{
    const struct {
        double value;
        int64_t expected;
    } cases[] = {
        {20.0, 20}, {-280.5, -280}, {9223372036854774784.0, 9223372036854774784},
        {-9223372036854775808.0, std::numeric_limits<int64_t>::min()},
        {9223372036854775808.0, 0}, {-9223372036854777856.0, 0}, {NaN, 0}, {Inf, 0}, {-Inf, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(gauge::truncateToInt64(c.value), c.expected) << c.value;
}

// The bounded formatter never writes past its capacity, whatever the text.
TEST(Platform, FormatTextStaysInsideItsCapacity)
{
    for (int capacity : {1, 2, 5, 6, 64}) {
        char buffer[80];
        std::memset(buffer, 'X', sizeof buffer);
        const int written = platform::formatText(buffer, capacity, "%2d.%02d", 123456, -99);
        EXPECT_EQ(written, std::min(capacity - 1, 10)) << capacity;
        EXPECT_EQ(buffer[written], '\0');
        for (int i = capacity; i < static_cast<int>(sizeof buffer); ++i)
            ASSERT_EQ(buffer[i], 'X') << "capacity " << capacity << " byte " << i;
    }
    char untouched = 'X';
    EXPECT_EQ(platform::formatText(&untouched, 0, "%d", 1), 0);
    EXPECT_EQ(untouched, 'X');
    EXPECT_EQ(platform::formatText(nullptr, 8, "%d", 1), 0);
}

} // namespace
