// Panel files, the host frame, the bundled panel and PNG files.
#include "panel.h"
#include "png_file.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

using namespace synthetic;
using host::render::Panel;

TEST(PanelFile, ReadsOneGaugePerLine)
{
    std::istringstream in("# a comment\n"
                          "\n"
                          "korvo0.gau  Vsi  10 20 300 301   # trailing comment\n"
                          "Korvo6.gau hsi 320 20 118 112\n");
    const auto entries = host::render::parsePanel(in, "test.panel");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].module, "korvo0.gau");
    EXPECT_EQ(entries[0].gauge, "Vsi");
    EXPECT_EQ(entries[0].rect, (host::render::IRect{10, 20, 300, 301}));
    EXPECT_EQ(entries[0].line, 3);
    EXPECT_EQ(entries[1].rect, (host::render::IRect{320, 20, 118, 112}));
}

TEST(PanelFile, RejectsMalformedLinesAndOverlaps)
{
    const struct {
        const char *text;
        const char *message;
    } cases[] = {
        {"korvo0.gau Vsi 10 20 300\n", "p:1: expected MODULE GAUGE X Y WIDTH HEIGHT"},
        {"korvo0.gau Vsi 10 20 300 300 7\n", "p:1: expected"},
        {"korvo0.gau Vsi ten 20 300 300\n", "p:1: x \"ten\" is not a whole number"},
        {"korvo0.gau Vsi 1.5 20 300 300\n", "is not a whole number"},
        {"korvo0.gau Vsi -1 20 300 300\n", "p:1: x -1 is out of range"},
        {"korvo0.gau Vsi 0 0 0 300\n", "p:1: width 0 is out of range"},
        {"korvo0.gau Vsi 0 0 300 99999999999\n", "is not a whole number"},
        {"korvo0.gau Vsi 16000 0 1000 10\n", "p:1: the gauge reaches beyond 16384 pixels"},
        {"\nkorvo0.gau Vsi 0 0 100 100\nkorvo0.gau Asi 99 99 10 10\n", "p:3: Asi overlaps Vsi of line 2"},
        {"# nothing\n", "p: the panel places no gauge"},
    };
    for (const auto &c : cases) {
        std::istringstream in(c.text);
        try {
            host::render::parsePanel(in, "p");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const host::HostError &error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
    }
    // Touching edges are not an overlap.
    std::istringstream in("a Vsi 0 0 100 100\na Asi 100 0 10 10\n");
    EXPECT_EQ(host::render::parsePanel(in, "p").size(), 2u);
}

// A gauge callback that notes when it runs, against the evaluations.
std::vector<std::string> *journal = nullptr;
void GAUGE_CALL noteService(GaugeHeader *gauge, int32_t service, uint32_t)
{
    if (journal) // the host's own take-down at the end of a test is not noted
        journal->push_back(std::string(gauge->name) + " service " + std::to_string(service));
}
double GAUGE_CALL noteValue(ElementHeader *element)
{
    journal->push_back(std::string(element->gauge->name) + " evaluated");
    return 0;
}

class Frame : public Fixture {};

// A gauge new to frames gets first use (4) and its one-time reset (10); every
// frame then services every gauge (6) before it evaluates any; take-down (12)
// reaches only gauges that frames brought into use, once.
TEST_F(Frame, ServicesEveryGaugeBeforeEvaluatingAny)
{
    std::vector<std::string> notes;
    journal = &notes;
    Gauge a, b;
    a.add(Icon{.header = header(KindIcon, 1, {0, 0}), .iconCount = 1, .callback = noteValue});
    b.add(Icon{.header = header(KindIcon, 1, {0, 0}), .iconCount = 1, .callback = noteValue});
    a.name = "A";
    b.name = "B";
    a.callback = b.callback = noteService;
    host::GaugeInstance &one = instance(a);
    host::GaugeInstance &two = instance(b);
    host::GaugeInstance *gauges[] = {&one, &two};
    host_.frame(gauges);
    const std::vector<std::string> first = {"A service 4", "A service 10", "B service 4", "B service 10",
                                            "A service 6", "B service 6",  "A evaluated", "B evaluated"};
    EXPECT_EQ(notes, first);

    notes.clear();
    host_.frame(gauges);
    const std::vector<std::string> later = {"A service 6", "B service 6", "A evaluated", "B evaluated"};
    EXPECT_EQ(notes, later);

    notes.clear();
    host::GaugeInstance &neverShown = instance(a);
    host_.takeDown(neverShown);
    host_.takeDown(two);
    host_.takeDown(two);
    EXPECT_EQ(notes, std::vector<std::string>{"B service 12"});
    journal = nullptr;
}

class DefaultPanel : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::current_path(GAUGE_BIN_DIR); }
};

TEST_F(DefaultPanel, PlacesAllNineGaugesAndEveryPictureTheyNameExists)
{
    host::Host host;
    host::render::BitmapLibrary library;
    Panel panel(host, host::render::readPanelFile("default.panel"), library);
    ASSERT_EQ(panel.gauges().size(), 9u);
    std::set<std::string> names;
    for (const Panel::Slot &slot : panel.gauges()) {
        names.insert(slot.gauge->name());
        const host::render::BitmapSet &bitmaps = library.of(slot.gauge->module());
        for (const host::ElementState &state : slot.gauge->elements()) {
            const ElementHeader &e = *state.element;
            if (e.kind == KindString)
                continue;
            const int32_t count = e.kind == KindIcon ? reinterpret_cast<const Icon &>(e).iconCount : 1;
            for (int32_t k = 0; k < count; ++k)
                EXPECT_NE(bitmaps.find(e.resourceId + k), nullptr) << slot.gauge->name() << " " << e.resourceId + k;
        }
        EXPECT_GT(slot.renderer->width(), 0) << slot.gauge->name();
    }
    EXPECT_EQ(names, (std::set<std::string>{"Vsi", "Asi", "Rpm", "Altimetro", "TrimMove", "hsi", "Fuel_Selector",
                                            "Start", "vantrel"}));

    host.frame();
    const host::render::Image &image = panel.render();
    EXPECT_EQ(image.width, panel.width());
    // The middle of every gauge is painted by the gauge, not the panel.
    for (const Panel::Slot &slot : panel.gauges()) {
        const auto &r = slot.entry.rect;
        EXPECT_NE(image.at(r.x + r.width / 2, r.y + r.height / 2), Panel::Background) << slot.gauge->name();
    }
    // Redrawn incrementally or afresh, the panel is the same.
    const std::vector<uint32_t> incremental = image.pixels;
    EXPECT_EQ(panel.renderAll().pixels, incremental);
}

TEST(Png, WritesAndReadsBackTransparency)
{
    host::render::Image image(3, 2);
    image.pixels = {0xffff0000, 0x00000000, 0x80400000, 0xff00ff00, 0xff0000ff, 0xffffffff};
    const std::string path = testing::TempDir() + "render_png_test.png";
    host::render::writePng(path, image);
    const host::render::Image back = host::render::readPng(path);
    ASSERT_EQ(back.width, 3);
    ASSERT_EQ(back.height, 2);
    for (size_t i = 0; i < image.pixels.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8)
            EXPECT_NEAR((back.pixels[i] >> shift) & 0xff, (image.pixels[i] >> shift) & 0xff, 1) << i;
    EXPECT_THROW(host::render::writePng(testing::TempDir() + "no/such/folder/x.png", image), host::HostError);
    EXPECT_THROW(host::render::readPng(testing::TempDir() + "no-such-file.png"), host::HostError);
}

} // namespace
