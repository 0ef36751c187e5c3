// The Korvo6 module's records and its start switch's mouse function, loaded
// into the substitute host. What the gauges show and send on clicks is
// covered by the scripts; these tests look at what the scripts cannot see:
// the record fields the host only draws with, the failure lists, the mouse
// function's result, and which imageFlags bits the gauges ever touch.
#include "host.h"
#include "module_var.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string ModulePath = std::string(GAUGE_BIN_DIR) + "/Korvo6.gau";

using Entries = std::vector<std::pair<int32_t, int32_t>>;

// A failure list's (key, action) entries up to its end record.
Entries entriesOf(const FailureRecord *list)
{
    Entries entries;
    for (; list && list->key != 0; ++list)
        entries.emplace_back(list->key, list->action);
    return entries;
}

const Entries CompassFailures = {{11, 1}, {20, 1}};
const Entries CourseFailures = {{11, 1}, {14, 2}, {20, 1}, {21, 2}};
const Entries GlideslopeFailures = {{14, 2}, {20, 1}, {21, 2}};

class Korvo6 : public ::testing::Test {
protected:
    host::Host host;
    host::Module &module = host.loadModule(ModulePath);

    std::vector<ElementHeader *> chainOf(const std::string &name)
    {
        std::vector<ElementHeader *> chain;
        for (const host::ElementState &state : host.createGauge(module, name).elements())
            chain.push_back(state.element);
        return chain;
    }
};

TEST_F(Korvo6, LinkageListsItsThreeGaugesAtVersion800)
{
    const ModuleLinkage &linkage = module.linkage();
    EXPECT_EQ(linkage.moduleId, 0x13);
    EXPECT_EQ(linkage.moduleVersion, 0x800);
    ASSERT_NE(linkage.moduleInit, nullptr);
    ASSERT_NE(linkage.moduleDeinit, nullptr);

    struct Expected {
        const char *name;
        int32_t sizeMm;
        bool hasCallback;
    };
    const Expected expected[] = {{"hsi", 120, true}, {"Fuel_Selector", 60, false}, {"Start", 50, false}};
    const GaugeHeader *first = linkage.gauges[0];
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].name);
        const GaugeHeader *gauge = linkage.gauges[i];
        ASSERT_NE(gauge, nullptr);
        EXPECT_STREQ(gauge->name, expected[i].name);
        EXPECT_EQ(gauge->version, 800);
        EXPECT_EQ(gauge->sizeMm, expected[i].sizeMm);
        EXPECT_EQ(gauge->callback != nullptr, expected[i].hasCallback);
        ASSERT_NE(gauge->elements, nullptr);
        EXPECT_EQ(gauge->elements[1], nullptr);
        EXPECT_NE(gauge->mouseRects, nullptr);
        // One set of routines for the whole module.
        EXPECT_NE(gauge->queryRoutine, nullptr);
        EXPECT_EQ(gauge->queryRoutine, first->queryRoutine);
        EXPECT_EQ(gauge->installRoutine, first->installRoutine);
        EXPECT_EQ(gauge->initializeRoutine, first->initializeRoutine);
        EXPECT_EQ(gauge->updateRoutine, first->updateRoutine);
        EXPECT_EQ(gauge->generateRoutine, first->generateRoutine);
        EXPECT_EQ(gauge->drawRoutine, first->drawRoutine);
        EXPECT_EQ(gauge->killRoutine, first->killRoutine);
    }
    EXPECT_EQ(linkage.gauges[3], nullptr);
}

// What one lit/day pair of the HSI holds besides its bitmap and flags.
struct HsiPair {
    const char *role;
    int32_t kind;
    int32_t dayBitmap;
    Point position;
    Point offset;
    const Entries *failures; // null: no list
};

const HsiPair HsiPairs[] = {
    {"face", KindIcon, 0x110, {0, 0}, {0, 0}, nullptr},
    {"compass card", KindNeedle, 0x119, {59, 58}, {45, 45}, &CompassFailures},
    {"heading bug", KindNeedle, 0x115, {59, 58}, {6, 43}, &CompassFailures},
    {"course pointer", KindNeedle, 0x118, {59, 58}, {31, 36}, &CourseFailures},
    {"TO/FROM", KindNeedle, 0x114, {59, 58}, {7, 14}, &CourseFailures},
    {"deviation bar", KindSprite, 0x120, {0, 0}, {59, 58}, &CourseFailures},
    {"NAV flag", KindIcon, 0x111, {27, 18}, {0, 0}, nullptr},
    {"right glideslope", KindSlider, 0x117, {104, 55}, {0, 0}, &GlideslopeFailures},
    {"left glideslope", KindSlider, 0x116, {11, 55}, {0, 0}, &GlideslopeFailures},
    {"heading knob", KindNeedle, 0x113, {102, 90}, {11, 11}, nullptr},
    {"course knob", KindNeedle, 0x112, {14, 90}, {11, 11}, nullptr},
};

TEST_F(Korvo6, HsiTwinsDifferOnlyInBitmapAndFlags)
{
    const auto chain = chainOf("hsi");
    ASSERT_EQ(chain.size(), 23u);
    const GaugeHeader *hsi = module.linkage().gauges[0];

    const ElementHeader &root = *chain[0];
    EXPECT_EQ(root.kind, KindStaticImage);
    EXPECT_EQ(root.resourceId, 0x110);
    EXPECT_EQ(root.imageFlags & ~HiddenFlag, 0x3u);
    EXPECT_EQ(root.failures, nullptr);

    std::set<const FailureRecord *> lists;
    for (size_t i = 1; i <= 11; ++i) {
        const HsiPair &pair = HsiPairs[i - 1];
        SCOPED_TRACE(pair.role);
        const ElementHeader &lit = *chain[i];
        const ElementHeader &day = *chain[i + 11];
        for (const ElementHeader *element : {&lit, &day}) {
            EXPECT_EQ(element->kind, pair.kind);
            EXPECT_EQ(element->position.x, pair.position.x);
            EXPECT_EQ(element->position.y, pair.position.y);
            EXPECT_EQ(element->offset.x, pair.offset.x);
            EXPECT_EQ(element->offset.y, pair.offset.y);
            EXPECT_EQ(element->gauge, hsi);
        }
        EXPECT_EQ(day.resourceId, pair.dayBitmap);
        EXPECT_EQ(lit.resourceId, pair.dayBitmap + 0x20);
        EXPECT_EQ(day.imageFlags & ~HiddenFlag, 0x83u);
        EXPECT_EQ(lit.imageFlags & ~HiddenFlag, 0x87u);

        // Twins share one list; every pair has a list of its own.
        EXPECT_EQ(lit.failures, day.failures);
        if (pair.failures) {
            EXPECT_EQ(entriesOf(day.failures), *pair.failures);
            EXPECT_EQ(day.failures[pair.failures->size()].reserved, 0);
            EXPECT_TRUE(lists.insert(day.failures).second) << "list shared with another pair";
        } else {
            EXPECT_EQ(day.failures, nullptr);
        }
    }
    EXPECT_EQ(lists.size(), 7u);
    EXPECT_EQ(chain[22]->next, nullptr);
}

TEST_F(Korvo6, HsiSourcesAndScalesPerTwin)
{
    const auto chain = chainOf("hsi");
    ASSERT_EQ(chain.size(), 23u);
    for (size_t i : {1u, 12u}) {
        SCOPED_TRACE(i == 1 ? "lit set" : "day set");
        auto needle = [&](size_t k) -> const Needle & { return *reinterpret_cast<const Needle *>(chain[i + k]); };
        auto icon = [&](size_t k) -> const Icon & { return *reinterpret_cast<const Icon *>(chain[i + k]); };
        auto slider = [&](size_t k) -> const Slider & { return *reinterpret_cast<const Slider *>(chain[i + k]); };

        EXPECT_EQ(icon(0).source.id, 0);
        EXPECT_EQ(icon(0).callback, nullptr);
        // Needles without tables, one source each; the knobs have no callback.
        const int32_t needleSources[][2] = {{1, 0x54}, {2, 0x357}, {3, 0x356}, {4, 0x356}, {9, 0x6b}, {10, 0x2d}};
        for (const auto &[k, source] : needleSources) {
            EXPECT_EQ(needle(k).source.id, source) << "element " << i + k;
            EXPECT_EQ(needle(k).nonlinearity, nullptr);
            EXPECT_EQ(needle(k).nonlinearityCount, 0);
            EXPECT_EQ(needle(k).maxRate, 0);
            EXPECT_EQ(needle(k).callback == nullptr, k >= 9) << "element " << i + k;
        }
        // Heading bug and course pointer share one callback.
        EXPECT_EQ(needle(2).callback, needle(3).callback);
        EXPECT_NE(needle(1).callback, needle(2).callback);
        EXPECT_NE(needle(4).callback, needle(3).callback);

        const Sprite &bar = *reinterpret_cast<const Sprite *>(chain[i + 5]);
        EXPECT_EQ(bar.sourceX.id, 0x351);
        EXPECT_EQ(bar.scaleX, -22.0);
        EXPECT_EQ(bar.sourceY.id, 0);
        EXPECT_EQ(bar.scaleY, 0.0);
        EXPECT_EQ(bar.sourceRotation.id, 0x356);
        EXPECT_EQ(bar.scaleRotation, -1.0);
        EXPECT_EQ(bar.textureScaleX, 1.0f);
        EXPECT_EQ(bar.textureScaleY, 1.0f);
        EXPECT_NE(bar.callbackX, nullptr);
        EXPECT_EQ(bar.callbackY, nullptr);
        EXPECT_NE(bar.callbackRotation, nullptr);

        EXPECT_EQ(icon(6).source.id, 0x353);
        EXPECT_NE(icon(6).callback, nullptr);
        for (size_t k : {0u, 6u}) {
            EXPECT_EQ(icon(k).iconMode, 0);
            EXPECT_EQ(icon(k).iconCount, 1);
        }

        for (size_t k : {7u, 8u}) {
            EXPECT_EQ(slider(k).sourceX.id, 0);
            EXPECT_EQ(slider(k).scaleX, 1.0);
            EXPECT_EQ(slider(k).sourceY.id, 0x352);
            EXPECT_EQ(slider(k).scaleY, 22.0);
            EXPECT_EQ(slider(k).callbackX, nullptr);
            EXPECT_NE(slider(k).callbackY, nullptr);
        }
        EXPECT_EQ(slider(7).callbackY, slider(8).callbackY);
    }
}

TEST_F(Korvo6, SelectorAndSwitchRecords)
{
    struct Expected {
        const char *gauge;
        int32_t rootBitmap;
        uint32_t rootFlags;
        int32_t iconBitmap;
        uint32_t iconFlags;
        int32_t source;
        int32_t iconCount;
        Entries failures;
        bool hasFailureList;
    };
    const Expected expected[] = {
        {"Fuel_Selector", 0x151, 0x01, 0x152, 0x03, 0x133, 3, {}, false},
        {"Start", 0x160, 0x03, 0x162, 0x07, 0x84, 5, {{2, 0}}, true},
    };
    for (const Expected &e : expected) {
        SCOPED_TRACE(e.gauge);
        const auto chain = chainOf(e.gauge);
        ASSERT_EQ(chain.size(), 2u);
        EXPECT_EQ(chain[0]->kind, KindStaticImage);
        EXPECT_EQ(chain[0]->resourceId, e.rootBitmap);
        EXPECT_EQ(chain[0]->imageFlags & ~HiddenFlag, e.rootFlags);
        EXPECT_EQ(chain[0]->failures, nullptr);
        const Icon &icon = *reinterpret_cast<const Icon *>(chain[1]);
        EXPECT_EQ(icon.header.kind, KindIcon);
        EXPECT_EQ(icon.header.resourceId, e.iconBitmap);
        EXPECT_EQ(icon.header.imageFlags & ~HiddenFlag, e.iconFlags);
        EXPECT_EQ(icon.header.next, nullptr);
        EXPECT_EQ(icon.source.id, e.source);
        EXPECT_EQ(icon.iconMode, 0);
        EXPECT_EQ(icon.iconCount, e.iconCount);
        EXPECT_NE(icon.callback, nullptr);
        EXPECT_EQ(icon.header.failures != nullptr, e.hasFailureList);
        EXPECT_EQ(entriesOf(icon.header.failures), e.failures);
    }
}

// A mouse list record's fields, function aside.
struct Rect {
    int32_t kind;
    Box box;
    int32_t cursor;
    int32_t helpId;
    uint32_t mouseFlags;
    uint32_t eventId;
    bool hasFunction;
};

void expectMouseList(const MouseRect *rects, const std::vector<Rect> &expected)
{
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i + 1));
        const MouseRect &r = rects[i];
        const Rect &e = expected[i];
        EXPECT_EQ(r.kind, e.kind);
        EXPECT_EQ(r.box.x, e.box.x);
        EXPECT_EQ(r.box.y, e.box.y);
        EXPECT_EQ(r.box.width, e.box.width);
        EXPECT_EQ(r.box.height, e.box.height);
        EXPECT_EQ(r.cursor, e.cursor);
        EXPECT_EQ(r.helpId, e.helpId);
        EXPECT_EQ(r.mouseFlags, e.mouseFlags);
        EXPECT_EQ(r.eventId, e.eventId);
        EXPECT_EQ(r.function != nullptr, e.hasFunction);
        EXPECT_EQ(r.data, nullptr);
    }
}

// Cursors, tooltips and mouse flags reach only the host's drawing of the
// pointer, so the scripts cannot see them.
TEST_F(Korvo6, MouseListsCarryTheirCursorsTooltipsAndFlags)
{
    const auto gauges = module.gauges();
    ASSERT_EQ(gauges.size(), 3u);
    {
        SCOPED_TRACE("hsi");
        expectMouseList(gauges[0]->mouseRects, {
            {MouseParent, {0, 0, 0, 0}, -1, 0xab36, 0, 0, false},
            {MouseParent, {3, 85, 21, 10}, -1, 0xab38, 0, 0, false},
            {MouseClickArea, {0, 0, 10, 10}, 2, 0, 0x20200000, 0x1007e, false},
            {MouseClickArea, {11, 0, 10, 10}, 1, 0, 0x20200000, 0x1007f, false},
            {MouseParentEnd, {0, 0, 0, 0}, -1, 0, 0, 0, false},
            {MouseParent, {92, 85, 21, 10}, -1, 0xab33, 0, 0, false},
            {MouseClickArea, {0, 0, 10, 10}, 2, 0, 0x20200000, 0x10158, false},
            {MouseClickArea, {11, 0, 10, 10}, 1, 0, 0x20200000, 0x10157, false},
            {MouseParentEnd, {0, 0, 0, 0}, -1, 0, 0, 0, false},
            {MouseParentEnd, {0, 0, 0, 0}, -1, 0, 0, 0, false},
            {MouseEnd, {0, 0, 0, 0}, -1, 0, 0, 0, false},
        });
    }
    {
        SCOPED_TRACE("Fuel_Selector");
        expectMouseList(gauges[1]->mouseRects, {
            {MouseParent, {0, 0, 0, 0}, -1, 0xab2d, 0, 0, false},
            {MouseClickArea, {4, 4, 60, 60}, 5, 0, 0x20000000, 0x101a3, false},
            {MouseClickArea, {4, 90, 60, 60}, 5, 0, 0x20000000, 0x101a5, false},
            {MouseClickArea, {105, 105, 60, 60}, 5, 0, 0x20000000, 0x101a6, false},
            {MouseParentEnd, {0, 0, 0, 0}, -1, 0, 0, 0, false},
            {MouseEnd, {0, 0, 0, 0}, -1, 0, 0, 0, false},
        });
    }
    {
        SCOPED_TRACE("Start");
        expectMouseList(gauges[2]->mouseRects, {
            {MouseParent, {0, 0, 0, 0}, -1, 0xab45, 0, 0, false},
            {MouseClickArea, {0, 0, 35, 20}, 2, 0, 0x20000000, 0x10062, false},
            {MouseClickArea, {40, 0, 35, 20}, 1, 0, 0x20000000, 0, true},
            {MouseParentEnd, {0, 0, 0, 0}, -1, 0, 0, 0, false},
            {MouseEnd, {0, 0, 0, 0}, -1, 0, 0, 0, false},
        });
    }
}

// The host ignores a mouse function's result, so it is checked here by
// calling the function as the host would, and with arguments it never reads.
TEST_F(Korvo6, StartSwitchMouseSendsOneEventAndReturnsOne)
{
    const MouseFunction mouse = module.findGauge("Start")->mouseRects[2].function;
    ASSERT_NE(mouse, nullptr);
    const struct {
        double position;
        uint32_t event;
    } cases[] = {
        {0, 0x10063}, {1, 0x10063}, {2, 0x10063}, {3, 0x102b0}, {4, 0x10063},
        {5, 0x10063}, {-1, 0x10063}, {-3, 0x10063}, {INT_MAX, 0x10063}, {INT_MIN, 0x10063},
    };
    MousePosition at{5, 5};
    const struct {
        MousePosition *position;
        uint32_t flags;
    } calls[] = {{&at, host::LeftClickFlags}, {nullptr, 0}};
    for (const auto &c : cases) {
        for (const auto &call : calls) {
            SCOPED_TRACE(c.position);
            // Set before every call: the host carries each event out on 0x84.
            host.variables().set(0x84, c.position);
            host.takeKeyEvents();
            EXPECT_EQ(mouse(call.position, call.flags), 1);
            const auto events = host.takeKeyEvents();
            ASSERT_EQ(events.size(), 1u);
            EXPECT_EQ(events[0].id, c.event);
            EXPECT_EQ(events[0].parameter, 0);
        }
    }
}

// Lighting and the self-hiding elements write only HiddenFlag; every other
// bit keeps the value it has in the data.
TEST_F(Korvo6, OnlyTheHiddenBitEverChanges)
{
    host::GaugeInstance &hsi = host.createGauge(module, "hsi");
    std::vector<uint32_t> initial;
    for (const host::ElementState &state : hsi.elements())
        initial.push_back(state.element->imageFlags & ~HiddenFlag);

    const double lights[][2] = {{0, 0}, {1, 1}, {1, 0}, {-1, 2}};
    const double selfHiding[][3] = {{0, 1, 0}, {1, 0, 1}, {2, NAN, NAN}, {0, 0.5, -1}};
    size_t hiddenSeen = 0;
    for (const auto &light : lights) {
        for (const auto &condition : selfHiding) {
            host.variables().set(0x0a, light[0]);
            host.variables().set(0x16c, light[1]);
            host.variables().set(0x2b, condition[0]);
            host.variables().set(0x353, condition[1]);
            host.variables().set(0x354, condition[2]);
            host.service(hsi, 6);
            host.evaluate(hsi);
            host.service(hsi, 2);
            host.evaluate(hsi);
            for (size_t i = 0; i < initial.size(); ++i) {
                const uint32_t flags = hsi.elements()[i].element->imageFlags;
                EXPECT_EQ(flags & ~HiddenFlag, initial[i]) << "element " << i;
                hiddenSeen += (flags & HiddenFlag) != 0;
            }
        }
    }
    EXPECT_GT(hiddenSeen, 0u);
    EXPECT_EQ(hsi.elements()[0].element->imageFlags & HiddenFlag, 0u) << "the root is never hidden";
}

} // namespace
