// How the host draws each element kind, pinned with tiny synthetic bitmaps.
#include "render.h"
#include "render_text.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using namespace synthetic;
using host::render::BitmapSet;
using host::render::GaugeRenderer;
using host::render::IRect;

constexpr uint32_t Ground = 0x102030; // the root's colour: dark blue
constexpr uint32_t Shaft = 0x808080;
constexpr uint32_t Tip = 0xff0000;

bool isTip(uint32_t p)
{
    return alpha(p) == 255 && red(p) > 200 && green(p) < 80 && blue(p) < 80;
}

// The reddest pixel of an image.
void reddest(const Image &image, int &x, int &y)
{
    int best = -1000;
    for (int j = 0; j < image.height; ++j)
        for (int i = 0; i < image.width; ++i) {
            const uint32_t p = image.at(i, j);
            const int score = static_cast<int>(red(p)) - static_cast<int>(green(p));
            if (score > best) {
                best = score;
                x = i;
                y = j;
            }
        }
}

class Render : public Fixture {
protected:
    // A 101 x 101 ground with a needle turning about (50, 50): a bitmap 41 x
    // 3 pointing towards +x, hub at (0, 1), its last pixel red.
    void needleGauge(NonlinearityPoint *table, int32_t count)
    {
        bitmaps_.add(solid(1, 101, 101, Ground));
        bitmaps_.add(picture(2, 41, 3, [](int x, int y) { return y != 1 ? 0u : x == 40 ? Tip : Shaft; }));
        gauge_.add(StaticImage{header(KindStaticImage, 1, {0, 0})});
        gauge_.add(Needle{.header = header(KindNeedle, 2, {50, 50}, {0, 1}),
                          .source = {.id = 0x7101},
                          .nonlinearity = table,
                          .nonlinearityCount = count});
    }

    Image show(double value)
    {
        if (!shown_)
            shown_ = &instance(gauge_);
        host_.variables().set(0x7101, value);
        host_.evaluate(*shown_);
        return host::render::renderGauge(*shown_, bitmaps_);
    }

    BitmapSet bitmaps_;
    Gauge gauge_;
    host::GaugeInstance *shown_ = nullptr;
};

TEST_F(Render, ANeedlesTipLandsOnTheTablePointOfItsValue)
{
    // Right, down, left, up, once round clockwise.
    NonlinearityPoint table[] = {{90, 50, 0, 0}, {50, 90, 100, 0}, {10, 50, 200, 0}, {50, 10, 300, 0}};
    needleGauge(table, 4);
    for (const auto &point : table) {
        const Image image = show(point.value);
        EXPECT_TRUE(isTip(image.at(point.x, point.y))) << point.value;
        int x = 0, y = 0;
        reddest(image, x, y);
        EXPECT_EQ(x, point.x) << point.value;
        EXPECT_EQ(y, point.y) << point.value;
        // The hub sits on the pivot pixel.
        EXPECT_EQ(image.at(50, 50), host::render::opaque(Shaft)) << point.value;
    }
    // Halfway between right and down: 45 degrees, 40 pixels out.
    const Image image = show(50);
    int x = 0, y = 0;
    reddest(image, x, y);
    EXPECT_NEAR(x, 50 + 40 * std::sqrt(0.5), 1.0);
    EXPECT_NEAR(y, 50 + 40 * std::sqrt(0.5), 1.0);
}

TEST_F(Render, ANeedleWithoutATableTurnsClockwiseFromUpright)
{
    // Upright: 3 x 41, hub at the bottom (1, 40), red tip at the top.
    bitmaps_.add(solid(1, 101, 101, Ground));
    bitmaps_.add(picture(2, 3, 41, [](int x, int y) { return x != 1 ? 0u : y == 0 ? Tip : Shaft; }));
    gauge_.add(StaticImage{header(KindStaticImage, 1, {0, 0})});
    gauge_.add(Needle{.header = header(KindNeedle, 2, {50, 50}, {1, 40}), .source = {.id = 0x7101}});
    const struct {
        double value;
        int x, y;
    } cases[] = {{0, 50, 10}, {90, 90, 50}, {180, 50, 90}, {-90, 10, 50}, {450, 90, 50}, {-340, 64, 12}};
    for (const auto &c : cases) {
        const Image image = show(c.value);
        int x = 0, y = 0;
        reddest(image, x, y);
        EXPECT_NEAR(x, c.x, 1) << c.value;
        EXPECT_NEAR(y, c.y, 1) << c.value;
    }
}

TEST_F(Render, SlidersMoveByValueTimesScaleInWholePixels)
{
    bitmaps_.add(solid(1, 40, 40, Ground));
    bitmaps_.add(solid(2, 2, 2, Tip));
    gauge_.add(StaticImage{header(KindStaticImage, 1, {0, 0})});
    Slider &slider = gauge_.add(Slider{.header = header(KindSlider, 2, {10, 10}),
                                       .sourceX = {.id = 0x7102},
                                       .sourceY = {.id = 0x7103}});
    host::GaugeInstance &gauge = instance(gauge_);
    const struct {
        double x, scaleX, y, scaleY;
        int left, top;
    } cases[] = {
        {0, 1, 0, 1, 10, 10},
        {3, 2.0, 5, -0.5, 16, 8},      // -2.5 rounds half up to -2
        {16384, -104.8 / 16384, 0, 0, -95, 10}, // off the gauge: nothing shows
        {1.4, 1, 1.6, 1, 11, 12},
        {NAN, 1, INFINITY, 1, 10, 10}, // no number: no displacement
    };
    for (const auto &c : cases) {
        slider.scaleX = c.scaleX;
        slider.scaleY = c.scaleY;
        host_.variables().set(0x7102, c.x);
        host_.variables().set(0x7103, c.y);
        host_.evaluate(gauge);
        const Image image = host::render::renderGauge(gauge, bitmaps_);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                const bool inside = x >= c.left && x < c.left + 2 && y >= c.top && y < c.top + 2;
                EXPECT_EQ(isTip(image.at(x, y)), inside) << c.x << " " << c.y << " at " << x << "," << y;
            }
    }
}

TEST_F(Render, IconsShowResourceIdPlusTheTruncatedValue)
{
    bitmaps_.add(solid(1, 8, 8, Ground));
    const uint32_t colours[3] = {0xff0000, 0x00ff00, 0x0000ff};
    for (int i = 0; i < 3; ++i)
        bitmaps_.add(solid(10 + i, 4, 4, colours[i]));
    gauge_.add(StaticImage{header(KindStaticImage, 1, {0, 0})});
    gauge_.add(Icon{.header = header(KindIcon, 10, {2, 3}), .source = {.id = 0x7104}, .iconCount = 3});
    host::GaugeInstance &gauge = instance(gauge_);
    const struct {
        double value;
        int picture; // -1: nothing drawn
    } cases[] = {{0, 0}, {1, 1}, {2.9, 2}, {-0.7, 0}, {3, -1}, {-1, -1}, {NAN, 0}, {1e12, 0}};
    for (const auto &c : cases) {
        host_.variables().set(0x7104, c.value);
        host_.evaluate(gauge);
        const Image image = host::render::renderGauge(gauge, bitmaps_);
        const uint32_t want = host::render::opaque(c.picture < 0 ? Ground : colours[c.picture]);
        EXPECT_EQ(image.at(2, 3), want) << c.value;
        EXPECT_EQ(image.at(5, 6), want) << c.value;
        EXPECT_EQ(image.at(6, 7), host::render::opaque(Ground)) << c.value;
        EXPECT_EQ(image.at(1, 3), host::render::opaque(Ground)) << c.value;
    }
}

TEST_F(Render, PureBlackIsTransparentInEveryBitmapAndHiddenElementsAreSkipped)
{
    // Root: black in its left column. Over it a 2 x 2 picture with one black
    // pixel, then a hidden picture over everything.
    bitmaps_.add(picture(1, 4, 4, [](int x, int) { return x == 0 ? 0u : Ground; }));
    bitmaps_.add(picture(2, 2, 2, [](int x, int y) { return x == 0 && y == 0 ? 0u : Tip; }));
    bitmaps_.add(solid(3, 4, 4, 0x00ff00));
    gauge_.add(StaticImage{header(KindStaticImage, 1, {0, 0})});
    gauge_.add(StaticImage{header(KindStaticImage, 2, {1, 1})});
    gauge_.add(StaticImage{header(KindStaticImage, 3, {0, 0}, {0, 0}, 0x3 | HiddenFlag)});
    host::GaugeInstance &gauge = instance(gauge_);
    const Image image = host::render::renderGauge(gauge, bitmaps_);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(alpha(image.at(0, y)), 0u) << y;
    EXPECT_EQ(image.at(1, 1), host::render::opaque(Ground)); // the picture's black shows the root
    EXPECT_EQ(image.at(2, 1), host::render::opaque(Tip));
    EXPECT_EQ(image.at(2, 2), host::render::opaque(Tip));
    EXPECT_EQ(image.at(3, 3), host::render::opaque(Ground));

    // Shown again, the last element covers the rest.
    gauge_.element(2).imageFlags &= ~HiddenFlag;
    const Image shown = host::render::renderGauge(gauge, bitmaps_);
    EXPECT_EQ(shown.at(0, 0), host::render::opaque(0x00ff00));
    EXPECT_EQ(shown.at(2, 2), host::render::opaque(0x00ff00));
}

TEST_F(Render, TurnedBitmapsHaveNoDarkFringeAndAnUnchangedInside)
{
    // A solid red bar turned by an odd angle: wherever it shows, its colour
    // (with the coverage taken out) is still red, and its middle is exact.
    bitmaps_.add(solid(1, 64, 64, 0x0000ff));
    bitmaps_.add(solid(2, 30, 9, 0xd03010));
    gauge_.add(StaticImage{header(KindStaticImage, 1, {0, 0}, {0, 0}, 0x3 | HiddenFlag)});
    gauge_.add(Needle{.header = header(KindNeedle, 2, {32, 32}, {15, 4}), .source = {.id = 0x7101}});
    const Image image = show(33.3);
    int covered = 0;
    for (const uint32_t p : image.pixels) {
        const uint32_t a = alpha(p);
        if (a == 0)
            continue;
        ++covered;
        // One step of 8-bit premultiplied colour is 255 / alpha steps here.
        const double step = 2.0 + 255.0 / a;
        EXPECT_NEAR(red(p) * 255.0 / a, 0xd0, step);
        EXPECT_NEAR(green(p) * 255.0 / a, 0x30, step);
        EXPECT_NEAR(blue(p) * 255.0 / a, 0x10, step);
    }
    EXPECT_GT(covered, 200);
    EXPECT_EQ(image.at(32, 32), host::render::opaque(0xd03010));
}

TEST_F(Render, TheSpriteLiesAlongItsTurnAndSlidesAcrossIt)
{
    // An HSI in small: a 9 x 9 sprite with a vertical line through its centre
    // pixel (4, 4), centred on (20, 20); x scale -5 and rotation scale -1 as
    // the deviation bar has them.
    bitmaps_.add(solid(1, 41, 41, Ground));
    bitmaps_.add(picture(2, 9, 9, [](int x, int y) { return x == 4 && y >= 1 && y <= 7 ? Tip : 0u; }));
    gauge_.add(StaticImage{header(KindStaticImage, 1, {0, 0})});
    gauge_.add(Sprite{.header = header(KindSprite, 2, {0, 0}, {20, 20}),
                      .sourceX = {.id = 0x7105},
                      .scaleX = -5.0,
                      .sourceRotation = {.id = 0x7106},
                      .scaleRotation = -1.0,
                      .textureScaleX = 1.0f,
                      .textureScaleY = 1.0f});
    host::GaugeInstance &gauge = instance(gauge_);
    const struct {
        double deviation, course; // course relative to the heading
        int x0, y0, x1, y1;       // the line's ends
    } cases[] = {
        {0, 0, 20, 17, 20, 23},    // centred, upright
        {1, 0, 25, 17, 25, 23},    // right of the course line
        {-1, 0, 15, 17, 15, 23},
        {0, 90, 17, 20, 23, 20},   // course to the right: the line lies across
        {1, 90, 17, 25, 23, 25},   // and slides down, to the course's right
        {1, 180, 15, 17, 15, 23},  // course down: its right is our left
    };
    for (const auto &c : cases) {
        host_.variables().set(0x7105, c.deviation);
        host_.variables().set(0x7106, c.course);
        host_.evaluate(gauge);
        const Image image = host::render::renderGauge(gauge, bitmaps_);
        EXPECT_TRUE(isTip(image.at(c.x0, c.y0))) << c.deviation << " " << c.course;
        EXPECT_TRUE(isTip(image.at(c.x1, c.y1))) << c.deviation << " " << c.course;
        EXPECT_TRUE(isTip(image.at((c.x0 + c.x1) / 2, (c.y0 + c.y1) / 2))) << c.deviation << " " << c.course;
        if (c.deviation != 0) {
            EXPECT_FALSE(isTip(image.at(20, 20))) << c.deviation << " " << c.course;
        }
    }
}

TEST_F(Render, StringsFillTheirBoxAndCentreTheText)
{
    bitmaps_.add(solid(1, 60, 30, Ground));
    gauge_.add(StaticImage{header(KindStaticImage, 1, {0, 0})});
    StringElement &string = gauge_.add(StringElement{.header = header(KindString, -1, {5, 4}),
                                                     .boxSize = {50, 20},
                                                     .foreground = 0x0000ff00, // green
                                                     .background = 0x00202020,
                                                     .fontFace = "Quartz",
                                                     .fontWeight = 400,
                                                     .charSet = 1,
                                                     .textFormat = 0x25,
                                                     .maxLength = 5});
    host::GaugeInstance &gauge = instance(gauge_);
    for (const char *face : {"Quartz", "DejaVu Sans"}) {
        std::snprintf(string.fontFace, sizeof string.fontFace, "%s", face);
        host_.evaluate(gauge);
        gauge.elements()[1].text = "88";
        const Image image = host::render::renderGauge(gauge, bitmaps_);
        // Box corners in the box colour, the ground outside untouched.
        EXPECT_EQ(image.at(5, 4), host::render::opaque(0x202020)) << face;
        EXPECT_EQ(image.at(54, 23), host::render::opaque(0x202020)) << face;
        EXPECT_EQ(image.at(4, 4), host::render::opaque(Ground)) << face;
        EXPECT_EQ(image.at(55, 24), host::render::opaque(Ground)) << face;
        // The ink is green and centred in the box.
        int x0 = 1000, x1 = -1, y0 = 1000, y1 = -1;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                if (green(image.at(x, y)) > 160) {
                    x0 = std::min(x0, x), x1 = std::max(x1, x);
                    y0 = std::min(y0, y), y1 = std::max(y1, y);
                }
        ASSERT_GE(x1, 0) << face;
        EXPECT_NEAR((x0 + x1) / 2.0, 5 + 24.5, 2.0) << face;
        EXPECT_NEAR((y0 + y1) / 2.0, 4 + 9.5, 2.0) << face;
        EXPECT_GE(x0, 5);
        EXPECT_LT(x1, 55);
    }
}

TEST(Segments, EveryDigitLightsItsOwnSegments)
{
    const uint8_t digits[] = {0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07, 0x7f, 0x6f};
    for (int d = 0; d < 10; ++d)
        EXPECT_EQ(host::render::segmentsOf(static_cast<char>('0' + d)), digits[d]) << d;
    EXPECT_EQ(host::render::segmentsOf(' '), 0);
    EXPECT_EQ(host::render::segmentsOf('-'), 0x40);
    EXPECT_EQ(host::render::segmentsOf('\x80'), 0);
}

TEST_F(Render, AGaugeIsScaledIntoItsRectangle)
{
    bitmaps_.add(picture(1, 10, 10, [](int x, int) { return x < 5 ? Ground : 0x00ff00u; }));
    gauge_.add(StaticImage{header(KindStaticImage, 1, {0, 0})});
    host::GaugeInstance &gauge = instance(gauge_);
    GaugeRenderer renderer(gauge, bitmaps_);
    EXPECT_EQ(renderer.width(), 10);
    renderer.place({5, 5, 20, 30});
    Image image(30, 40, host::render::opaque(0xffffff));
    renderer.draw(image);
    EXPECT_EQ(image.at(4, 10), host::render::opaque(0xffffff));
    EXPECT_EQ(image.at(5, 5), host::render::opaque(Ground));
    // Grown twice across: the two halves meet in a blend two pixels wide.
    EXPECT_EQ(image.at(12, 34), host::render::opaque(Ground));
    EXPECT_EQ(image.at(17, 34), host::render::opaque(0x00ff00));
    EXPECT_EQ(image.at(24, 20), host::render::opaque(0x00ff00));
    EXPECT_EQ(image.at(25, 20), host::render::opaque(0xffffff));
    EXPECT_EQ(image.at(10, 35), host::render::opaque(0xffffff));
}

TEST_F(Render, ShrunkNeedlesStillPointAtTheirMarks)
{
    NonlinearityPoint table[] = {{90, 50, 0, 0}, {50, 90, 100, 0}, {10, 50, 200, 0}, {50, 10, 300, 0}};
    needleGauge(table, 4);
    host::GaugeInstance &gauge = instance(gauge_);
    host_.variables().set(0x7101, 100);
    host_.evaluate(gauge);
    GaugeRenderer renderer(gauge, bitmaps_);
    renderer.place({0, 0, 25, 25}); // a quarter: the bitmap halves twice
    Image image(25, 25);
    renderer.draw(image);
    int x = 0, y = 0;
    reddest(image, x, y);
    EXPECT_NEAR(x, 50.5 / 4, 1.0);
    EXPECT_NEAR(y, 90.5 / 4, 1.0);
}

// update() redraws only what moved; what it leaves must be what a full
// drawing gives, whatever changed.
TEST_F(Render, IncrementalUpdatesMatchAFullDrawing)
{
    NonlinearityPoint table[] = {{90, 50, 0, 0}, {50, 90, 100, 0}, {10, 50, 200, 0}, {50, 10, 300, 0}};
    needleGauge(table, 4);
    bitmaps_.add(picture(1, 101, 101, [](int x, int y) { return (x - 50) * (x - 50) + (y - 50) * (y - 50) > 2500 ? 0u : Ground; }));
    bitmaps_.add(solid(3, 12, 7, 0x40c040));
    bitmaps_.add(solid(4, 12, 7, 0xc0c040));
    gauge_.add(Slider{.header = header(KindSlider, 3, {40, 60}), .sourceX = {.id = 0x7102}, .scaleX = 1.0,
                      .sourceY = {.id = 0x7103}, .scaleY = 1.0});
    Icon &icon = gauge_.add(Icon{.header = header(KindIcon, 3, {5, 5}), .source = {.id = 0x7104}, .iconCount = 2});
    host::GaugeInstance &gauge = instance(gauge_);
    GaugeRenderer incremental(gauge, bitmaps_);
    incremental.place({3, 4, 150, 150});
    constexpr uint32_t Background = 0xff303840;
    Image kept(160, 160, 0xffffffff);

    std::mt19937 random(7);
    std::uniform_real_distribution<double> any(-50, 350);
    for (int step = 0; step < 60; ++step) {
        switch (random() % 5) {
        case 0: host_.variables().set(0x7101, any(random)); break;
        case 1: host_.variables().set(0x7102, any(random) / 10); break;
        case 2: host_.variables().set(0x7103, any(random) / 10); break;
        case 3: host_.variables().set(0x7104, random() % 3); break;
        default: icon.header.imageFlags ^= HiddenFlag; break;
        }
        host_.evaluate(gauge);
        incremental.update(kept, Background);

        GaugeRenderer fresh(gauge, bitmaps_);
        fresh.place({3, 4, 150, 150});
        Image full(160, 160, 0xffffffff);
        host::render::fillRect(full, {3, 4, 150, 150}, Background);
        fresh.draw(full);
        ASSERT_EQ(kept.pixels, full.pixels) << "step " << step;
    }
    // Nothing changed: nothing redrawn.
    EXPECT_TRUE(incremental.update(kept, Background).empty());
}

} // namespace
