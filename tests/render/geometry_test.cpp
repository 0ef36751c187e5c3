// Where the host points needles: table angles, interpolation and the
// turning-rate limit.
#include "render_geometry.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using namespace synthetic;

TEST(Bearing, ClockwiseFromStraightUpOnAYDownGrid)
{
    const struct {
        double x, y, degrees;
    } cases[] = {{0, -5, 0}, {5, -5, 45}, {5, 0, 90}, {0, 5, 180}, {-5, 0, 270}, {-1, -113, 359.49297}, {0, 0, 0}};
    for (const auto &c : cases)
        EXPECT_NEAR(host::bearing(0, 0, c.x, c.y), c.degrees, 1e-4) << c.x << "," << c.y;
}

// The altimeter's table: two points one pixel apart straight above the
// pivot, 0 and 999.
Needle altimeterHand(NonlinearityPoint *table)
{
    Needle needle{.header = header(KindNeedle, 1, {156, 154}), .nonlinearity = table, .nonlinearityCount = 2};
    return needle;
}

TEST(NeedleTable, StepsTurnClockwiseSoTheAltimeterSpansAlmostAFullTurn)
{
    NonlinearityPoint table[] = {{156, 41, 0.0, 0.0}, {155, 41, 999.0, 0.0}};
    const Needle needle = altimeterHand(table);
    std::vector<double> angles;
    host::tableAngles(needle, angles);
    ASSERT_EQ(angles.size(), 2u);
    EXPECT_DOUBLE_EQ(angles[0], 0.0);
    // 360 less the half degree that one pixel at 113 pixels subtends.
    EXPECT_NEAR(angles[1], 360.0 - std::atan2(1.0, 113.0) * 180.0 / M_PI, 1e-9);

    const struct {
        double value, degrees;
    } cases[] = {
        {0, 0},
        {500, 179.9264119},  // half the span
        {999, 359.4929709},
        {1000, 359.8528238}, // beyond the last point: along the end segment
        {-300, -107.9558471}, // before the first: the 7 on the dial
    };
    for (const auto &c : cases)
        EXPECT_NEAR(host::needleTargetAngle(needle, angles, c.value), c.degrees, 1e-6) << c.value;
}

TEST(NeedleTable, UnwrapsEveryStepOfADialTable)
{
    // The vertical speed dial's table, from 4000 down at the right round
    // through 0 at the left to 4000 up at the right again.
    NonlinearityPoint table[] = {{271, 152, -4000, 0}, {236, 238, -3000, 0}, {148, 274, -2000, 0},
                                 {61, 238, -1000, 0},  {32, 198, -500, 0},   {24, 152, 0, 0},
                                 {32, 107, 500, 0},    {60, 62, 1000, 0},    {149, 26, 2000, 0},
                                 {237, 62, 3000, 0},   {273, 150, 4000, 0}};
    Needle needle{.header = header(KindNeedle, 1, {155, 151}), .nonlinearity = table, .nonlinearityCount = 11};
    std::vector<double> angles;
    host::tableAngles(needle, angles);
    const double expected[] = {90.4939, 137.0454, 183.2572, 227.2148, 249.0875, 269.5626,
                               289.6833, 313.1323, 357.2519, 402.6559, 449.5145};
    ASSERT_EQ(angles.size(), 11u);
    for (size_t i = 0; i < 11; ++i)
        EXPECT_NEAR(angles[i], expected[i], 1e-4) << i;
    // Linear between neighbours: -750 lies halfway from -1000 to -500.
    EXPECT_NEAR(host::needleTargetAngle(needle, angles, -750), (227.2148 + 249.0875) / 2, 1e-4);
}

TEST(NeedleTable, OddTablesGiveFiniteAngles)
{
    NonlinearityPoint one[] = {{10, 0, 5.0, 0}};
    NonlinearityPoint flat[] = {{10, 0, 5.0, 0}, {0, 10, 5.0, 0}};
    std::vector<double> angles;
    Needle single{.header = header(KindNeedle, 1, {0, 0}), .nonlinearity = one, .nonlinearityCount = 1};
    host::tableAngles(single, angles);
    EXPECT_DOUBLE_EQ(host::needleTargetAngle(single, angles, 123.0), 90.0);
    Needle repeated{.header = header(KindNeedle, 1, {0, 0}), .nonlinearity = flat, .nonlinearityCount = 2};
    host::tableAngles(repeated, angles);
    EXPECT_TRUE(std::isfinite(host::needleTargetAngle(repeated, angles, 7.0)));
    // A count beyond any sensible table is not followed past the limit, and
    // a negative one means no table.
    Needle negative{.header = header(KindNeedle, 1, {0, 0}), .nonlinearity = one, .nonlinearityCount = -4};
    EXPECT_FALSE(host::hasTable(negative));
    EXPECT_TRUE(std::isnan(host::needleTargetAngle(single, angles, NAN)));
}

TEST(NeedleTable, WithoutATableTheValueIsTheAngle)
{
    Needle needle{.header = header(KindNeedle, 1, {0, 0})};
    std::vector<double> angles;
    host::tableAngles(needle, angles);
    for (const double value : {0.0, 90.0, -340.0, 530.0})
        EXPECT_EQ(host::needleTargetAngle(needle, angles, value), value);
    EXPECT_EQ(host::bitmapTurn(needle, 30.0), 30.0);
}

// The rate limit, through the host's own evaluation.
class NeedleRate : public Fixture {};

TEST_F(NeedleRate, FirstFrameShowsTheTargetThenTurnsAtMostMaxRatePerFrame)
{
    Gauge g;
    g.add(StaticImage{header(KindStaticImage, 1, {0, 0})});
    Needle &needle = g.add(Needle{.header = header(KindNeedle, 2, {0, 0}), .source = {.id = 0x7001}, .maxRate = 6});
    host::GaugeInstance &gauge = instance(g);
    host::ElementState &state = gauge.elements()[1];

    host_.variables().set(0x7001, 100.0);
    host_.evaluate(gauge);
    EXPECT_DOUBLE_EQ(state.angle, 100.0);

    host_.variables().set(0x7001, 80.0);
    const double expected[] = {94, 88, 82, 80, 80};
    for (const double angle : expected) {
        host_.evaluate(gauge);
        EXPECT_DOUBLE_EQ(state.angle, angle);
    }
    // Not a number leaves the needle where it is.
    host_.variables().set(0x7001, NAN);
    host_.evaluate(gauge);
    EXPECT_DOUBLE_EQ(state.angle, 80.0);
    // Without a limit it jumps.
    needle.maxRate = 0;
    host_.variables().set(0x7001, -340.0);
    host_.evaluate(gauge);
    EXPECT_DOUBLE_EQ(state.angle, -340.0);
}

TEST_F(NeedleRate, HiddenNeedlesKeepTheirAngleAndANotANumberStartRestsAtZero)
{
    Gauge g;
    g.add(StaticImage{header(KindStaticImage, 1, {0, 0})});
    Needle &needle = g.add(Needle{.header = header(KindNeedle, 2, {0, 0}), .source = {.id = 0x7002}, .maxRate = 6});
    host::GaugeInstance &gauge = instance(g);
    host::ElementState &state = gauge.elements()[1];

    host_.variables().set(0x7002, NAN);
    host_.evaluate(gauge);
    EXPECT_TRUE(state.angleShown);
    EXPECT_DOUBLE_EQ(state.angle, 0.0);

    host_.variables().set(0x7002, 50.0);
    needle.header.imageFlags |= HiddenFlag;
    host_.evaluate(gauge);
    EXPECT_DOUBLE_EQ(state.angle, 0.0);
    needle.header.imageFlags &= ~HiddenFlag;
    host_.evaluate(gauge);
    EXPECT_DOUBLE_EQ(state.angle, 6.0);
}

} // namespace
