// The altimeter's pressure readout writes into a buffer the host owns. Whatever
// the setting, it must stay inside maxLength characters and the NUL, and write
// nothing at all where there is no buffer or no room.
#include "host.h"
#include "module_var.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr char Guard = static_cast<char>(0xA5);
constexpr size_t GuardLength = 64;

struct Setting {
    double value;
    const char *text; // what a five-character readout shows
};

const double Infinity = std::numeric_limits<double>::infinity();
const double NotANumber = std::numeric_limits<double>::quiet_NaN();
const double Denormal = std::numeric_limits<double>::denorm_min();

const Setting Settings[] = {
    {29.92, "29.92"},
    {9.5, " 9.50"},
    {0.0, " 0.00"},
    {-0.0, " 0.00"},
    {Denormal, " 0.00"},
    {DBL_MIN, " 0.00"},
    {99.999, "99.99"},
    {std::nextafter(100.0, 0.0), "99.99"},
    {29.95, "29.94"}, // held just below 29.95
    {100.0, "--.--"},
    {-1.0, "--.--"},
    {-Denormal, "--.--"},
    {std::nextafter(0.0, -1.0), "--.--"},
    {2147483648.0, "--.--"},
    {-2147483649.0, "--.--"},
    {1e308, "--.--"},
    {-1e308, "--.--"},
    {DBL_MAX, "--.--"},
    {-DBL_MAX, "--.--"},
    {Infinity, "--.--"},
    {-Infinity, "--.--"},
    {NotANumber, "--.--"},
    {-NotANumber, "--.--"},
};

std::string describe(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class AltimeterReadout : public ::testing::Test {
protected:
    host::Host host;
    host::Module &module = host.loadModule(GAUGE_BIN_DIR "/korvo0.gau");
    host::GaugeInstance &gauge = host.createGauge(module, "Altimetro");

    // Chain indexes 3 (lit) and 8 (day).
    std::vector<StringElement *> readouts()
    {
        std::vector<StringElement *> found;
        for (size_t index : {3u, 8u}) {
            ElementHeader *element = gauge.elements().at(index).element;
            EXPECT_EQ(element->kind, KindString);
            found.push_back(reinterpret_cast<StringElement *>(element));
        }
        return found;
    }

    // Calls the readout's own callback on setting, with text pointing at
    // buffer, and returns what it returned.
    static double show(StringElement &readout, double setting, char *buffer)
    {
        readout.text = buffer;
        gauge::storeVariableNumber(readout.source, setting);
        const double shown = readout.callback(&readout.header);
        readout.text = nullptr;
        return shown;
    }
};

// Restores a readout's maxLength when a test is done with it, since the
// records are the module's and outlive the test.
struct MaxLengthChange {
    StringElement &readout;
    int32_t saved;
    MaxLengthChange(StringElement &readout, int32_t maxLength) : readout(readout), saved(readout.maxLength)
    {
        readout.maxLength = maxLength;
    }
    ~MaxLengthChange() { readout.maxLength = saved; }
};

TEST_F(AltimeterReadout, StaysWithinItsFiveCharactersForEverySetting)
{
    for (StringElement *readout : readouts()) {
        ASSERT_EQ(readout->maxLength, 5);
        for (const Setting &setting : Settings) {
            SCOPED_TRACE(describe(setting.value));
            std::vector<char> buffer(6 + GuardLength, Guard);
            const double shown = show(*readout, setting.value, buffer.data());

            EXPECT_TRUE(sameBits(shown, setting.value)) << "returned " << describe(shown);
            ASSERT_NE(std::memchr(buffer.data(), '\0', 6), nullptr) << "no NUL within six bytes";
            EXPECT_STREQ(buffer.data(), setting.text);
            for (size_t i = 6; i < buffer.size(); ++i)
                ASSERT_EQ(buffer[i], Guard) << "byte " << i << " past the buffer was written";
        }
    }
}

TEST_F(AltimeterReadout, ShorterBuffersGetAPrefixAndNoMore)
{
    StringElement &readout = *readouts().front();
    for (int32_t maxLength : {4, 3, 1}) {
        MaxLengthChange change(readout, maxLength);
        for (const Setting &setting : Settings) {
            SCOPED_TRACE("maxLength " + std::to_string(maxLength) + ", " + describe(setting.value));
            const size_t capacity = static_cast<size_t>(maxLength) + 1;
            std::vector<char> buffer(capacity + GuardLength, Guard);
            show(readout, setting.value, buffer.data());

            ASSERT_NE(std::memchr(buffer.data(), '\0', capacity), nullptr);
            EXPECT_EQ(std::string(buffer.data()), std::string(setting.text, static_cast<size_t>(maxLength)));
            for (size_t i = capacity; i < buffer.size(); ++i)
                ASSERT_EQ(buffer[i], Guard) << "byte " << i << " past the buffer was written";
        }
    }
}

TEST_F(AltimeterReadout, NoRoomOrNoBufferWritesNothing)
{
    StringElement &readout = *readouts().front();
    for (int32_t maxLength : {0, -1, INT32_MIN}) {
        MaxLengthChange change(readout, maxLength);
        for (const Setting &setting : Settings) {
            SCOPED_TRACE("maxLength " + std::to_string(maxLength) + ", " + describe(setting.value));
            std::vector<char> buffer(GuardLength, Guard);
            EXPECT_TRUE(sameBits(show(readout, setting.value, buffer.data()), setting.value));
            for (size_t i = 0; i < buffer.size(); ++i)
                ASSERT_EQ(buffer[i], Guard) << "byte " << i << " was written";
        }
    }
    for (const Setting &setting : Settings) {
        SCOPED_TRACE("no buffer, " + describe(setting.value));
        EXPECT_TRUE(sameBits(show(readout, setting.value, nullptr), setting.value));
    }
}

// The capacity is maxLength plus the NUL; at the top of int32 that sum must
// not overflow (the sanitizer build traps it). The text itself stays short.
TEST_F(AltimeterReadout, LargestMaxLengthDoesNotOverflowTheCapacity)
{
    StringElement &readout = *readouts().front();
    MaxLengthChange change(readout, INT32_MAX);
    std::vector<char> buffer(6 + GuardLength, Guard);
    show(readout, 29.92, buffer.data());
    EXPECT_STREQ(buffer.data(), "29.92");
    EXPECT_EQ(buffer[6], Guard);
}

// The same settings through the host's own evaluation and its guarded buffers.
TEST_F(AltimeterReadout, HostBuffersKeepTheirGuards)
{
    for (const Setting &setting : Settings) {
        SCOPED_TRACE(describe(setting.value));
        host.variables().set(0x4c, setting.value);
        host.evaluate(gauge);
        for (size_t index : {3u, 8u}) {
            const host::ElementState &state = gauge.elements()[index];
            EXPECT_EQ(state.text, setting.text);
            EXPECT_TRUE(sameBits(state.value, setting.value));
        }
        ASSERT_FALSE(gauge.guardOverwritten());
    }
}

} // namespace
