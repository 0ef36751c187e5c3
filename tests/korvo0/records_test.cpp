// What the altimeter and trim wheel records promise the host beyond what the
// scripts show: the lit and day twins, the shared scale and failure list,
// the readout's font and colours, and where the knob's halves lie.
#include "host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class Korvo0Records : public ::testing::Test {
protected:
    host::Host host;
    host::Module &module = host.loadModule(GAUGE_BIN_DIR "/korvo0.gau");

    std::vector<ElementHeader *> chain(const char *name)
    {
        std::vector<ElementHeader *> elements;
        for (const host::ElementState &state : host.createGauge(module, name).elements())
            elements.push_back(state.element);
        return elements;
    }
};

template <typename Record>
Record &as(ElementHeader *element)
{
    return *reinterpret_cast<Record *>(element);
}

TEST_F(Korvo0Records, LinkageListsTheFiveGaugesInOrder)
{
    std::vector<std::string> names;
    for (GaugeHeader *header : module.gauges())
        names.push_back(header->name);
    EXPECT_EQ(names, (std::vector<std::string>{"Vsi", "Asi", "Rpm", "Altimetro", "TrimMove"}));
    EXPECT_EQ(module.linkage().gauges[5], nullptr);
}

TEST_F(Korvo0Records, AltimeterHeader)
{
    GaugeHeader &header = *module.findGauge("Altimetro");
    EXPECT_EQ(header.version, 700);
    EXPECT_EQ(header.sizeMm, 115);
    EXPECT_NE(header.callback, nullptr);
    EXPECT_EQ(header.elements[1], nullptr);
    // Every header of the module forwards through the same seven routines.
    GaugeHeader &first = *module.gauges().front();
    EXPECT_EQ(header.queryRoutine, first.queryRoutine);
    EXPECT_EQ(header.installRoutine, first.installRoutine);
    EXPECT_EQ(header.killRoutine, first.killRoutine);
}

// Index k of the lit set and k + 5 of the day set differ only in bitmap
// (lit = day + 4), text colour and the lit flag bit 0x4.
TEST_F(Korvo0Records, AltimeterLitAndDaySetsAreTwins)
{
    const std::vector<ElementHeader *> elements = chain("Altimetro");
    ASSERT_EQ(elements.size(), 11u);
    GaugeHeader *header = module.findGauge("Altimetro");
    for (ElementHeader *element : elements) {
        EXPECT_EQ(element->gauge, header);
        EXPECT_EQ(element->imageFlags & HiddenFlag, 0u);
    }
    EXPECT_EQ(elements[0]->kind, KindStaticImage);
    EXPECT_EQ(elements[0]->resourceId, 0x130);
    EXPECT_EQ(elements[0]->imageFlags, 0x1u);
    EXPECT_EQ(elements[0]->failures, nullptr);
    EXPECT_EQ(elements[10]->next, nullptr);

    const int32_t kinds[] = {KindIcon, KindNeedle, KindString, KindNeedle, KindNeedle};
    const int32_t dayBitmaps[] = {0x130, 0x131, -1, 0x132, 0x133};
    const uint32_t dayFlags[] = {0x83, 0x3, 0x3, 0x3, 0x3};
    const Point offsets[] = {{0, 0}, {67, 60}, {0, 0}, {15, 12}, {50, 7}};
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE("set entry " + std::to_string(k));
        ElementHeader *lit = elements[1 + k];
        ElementHeader *day = elements[6 + k];
        EXPECT_EQ(lit->kind, kinds[k]);
        EXPECT_EQ(day->kind, kinds[k]);
        EXPECT_EQ(day->resourceId, dayBitmaps[k]);
        EXPECT_EQ(lit->resourceId, dayBitmaps[k] < 0 ? -1 : dayBitmaps[k] + 4);
        EXPECT_EQ(day->imageFlags, dayFlags[k]);
        EXPECT_EQ(lit->imageFlags, dayFlags[k] | 0x4);
        EXPECT_EQ(lit->offset.x, offsets[k].x);
        EXPECT_EQ(lit->offset.y, offsets[k].y);
        EXPECT_EQ(day->offset.x, offsets[k].x);
        EXPECT_EQ(day->offset.y, offsets[k].y);
        EXPECT_EQ(lit->position.x, day->position.x);
        EXPECT_EQ(lit->position.y, day->position.y);
        EXPECT_EQ(lit->failures, day->failures);
        ASSERT_NE(lit->next, nullptr);
        EXPECT_EQ(lit->next[1], nullptr);
    }
}

TEST_F(Korvo0Records, AltimeterHandsShareOneScaleAndTheFailureList)
{
    const std::vector<ElementHeader *> elements = chain("Altimetro");
    ASSERT_EQ(elements.size(), 11u);
    const Needle &first = as<Needle>(elements[2]);
    ASSERT_EQ(first.nonlinearityCount, 2);
    const NonlinearityPoint *scale = first.nonlinearity;
    EXPECT_EQ(scale[0].x, 156);
    EXPECT_EQ(scale[0].y, 41);
    EXPECT_EQ(scale[0].value, 0.0);
    EXPECT_EQ(scale[1].x, 155);
    EXPECT_EQ(scale[1].y, 41);
    EXPECT_EQ(scale[1].value, 999.0);

    const FailureRecord *failures = first.header.failures;
    ASSERT_NE(failures, nullptr);
    EXPECT_EQ(failures[0].key, 7);
    EXPECT_EQ(failures[0].action, 1);
    EXPECT_EQ(failures[1].key, 3);
    EXPECT_EQ(failures[1].action, 1);
    EXPECT_EQ(failures[2].key, 0);

    for (size_t index : {2u, 4u, 5u, 7u, 9u, 10u}) {
        SCOPED_TRACE("index " + std::to_string(index));
        const Needle &needle = as<Needle>(elements[index]);
        EXPECT_EQ(needle.nonlinearity, scale);
        EXPECT_EQ(needle.nonlinearityCount, 2);
        EXPECT_EQ(needle.maxRate, 0);
        EXPECT_EQ(needle.source.id, 0x4a);
        EXPECT_EQ(needle.header.position.x, 156);
        EXPECT_EQ(needle.header.position.y, 154);
        EXPECT_EQ(needle.header.failures, failures);
    }
    for (size_t index : {3u, 8u})
        EXPECT_EQ(elements[index]->failures, failures);
    for (size_t index : {1u, 6u}) {
        const Icon &face = as<Icon>(elements[index]);
        EXPECT_EQ(face.header.failures, nullptr);
        EXPECT_EQ(face.iconCount, 1);
        EXPECT_EQ(face.source.id, 0);
        EXPECT_EQ(face.callback, nullptr);
    }
}

TEST_F(Korvo0Records, AltimeterReadoutFontAndColours)
{
    const std::vector<ElementHeader *> elements = chain("Altimetro");
    ASSERT_EQ(elements.size(), 11u);
    const StringElement &lit = as<StringElement>(elements[3]);
    const StringElement &day = as<StringElement>(elements[8]);
    EXPECT_EQ(lit.foreground, 0x0087A9C4u);
    EXPECT_EQ(day.foreground, 0x00DED5D5u);
    for (const StringElement *readout : {&lit, &day}) {
        EXPECT_EQ(readout->header.position.x, 170);
        EXPECT_EQ(readout->header.position.y, 138);
        EXPECT_EQ(readout->source.id, 0x4c);
        EXPECT_EQ(readout->boxSize.width, 100);
        EXPECT_EQ(readout->boxSize.height, 40);
        EXPECT_EQ(readout->background, 0x00202020u);
        EXPECT_EQ(readout->highlight, 0x005C5C5Cu);
        EXPECT_STREQ(readout->fontFace, "Quartz");
        EXPECT_EQ(readout->fontWeight, 400);
        EXPECT_EQ(readout->charSet, 1);
        EXPECT_EQ(readout->textFormat, 0x25u);
        EXPECT_EQ(readout->maxLength, 5);
        EXPECT_NE(readout->callback, nullptr);
    }
}

TEST_F(Korvo0Records, AltimeterKnobHalves)
{
    const MouseRect *rects = module.findGauge("Altimetro")->mouseRects;
    EXPECT_EQ(rects[0].kind, MouseParent);
    EXPECT_EQ(rects[0].helpId, 0xab07);
    const std::vector<host::ClickArea> areas = host::clickAreas(rects);
    ASSERT_EQ(areas.size(), 2u);
    struct Expected {
        Box box;
        int32_t cursor;
        uint32_t eventId;
    };
    const Expected expected[] = {{{6, 241, 32, 64}, 2, 0x1015c}, {{38, 241, 32, 64}, 1, 0x1015b}};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE("area " + std::to_string(i));
        EXPECT_EQ(std::memcmp(&areas[i].box, &expected[i].box, sizeof(Box)), 0);
        EXPECT_EQ(areas[i].helpId, 0xab08);
        EXPECT_EQ(areas[i].rect->cursor, expected[i].cursor);
        EXPECT_EQ(areas[i].rect->mouseFlags, 0x20200000u);
        EXPECT_EQ(areas[i].rect->eventId, expected[i].eventId);
        EXPECT_EQ(areas[i].rect->function, nullptr);
    }
    // Both parents close before the list ends.
    EXPECT_EQ(rects[4].kind, MouseParentEnd);
    EXPECT_EQ(rects[5].kind, MouseParentEnd);
    EXPECT_EQ(rects[6].kind, MouseEnd);
}

TEST_F(Korvo0Records, TrimWheel)
{
    GaugeHeader &header = *module.findGauge("TrimMove");
    EXPECT_EQ(header.version, 700);
    EXPECT_EQ(header.sizeMm, 20);
    EXPECT_EQ(header.callback, nullptr);

    const std::vector<ElementHeader *> elements = chain("TrimMove");
    ASSERT_EQ(elements.size(), 2u);
    EXPECT_EQ(elements[0]->kind, KindStaticImage);
    EXPECT_EQ(elements[0]->resourceId, 0x140);
    const Icon &wheel = as<Icon>(elements[1]);
    EXPECT_EQ(wheel.header.kind, KindIcon);
    EXPECT_EQ(wheel.header.resourceId, 0x142);
    EXPECT_EQ(wheel.header.imageFlags, 0x1u);
    EXPECT_EQ(wheel.header.next, nullptr);
    EXPECT_EQ(wheel.iconCount, 3);
    EXPECT_EQ(wheel.source.id, 0);
    EXPECT_NE(wheel.callback, nullptr);

    EXPECT_EQ(header.mouseRects[0].kind, MouseParent);
    EXPECT_EQ(header.mouseRects[0].helpId, 0xa02e);
    EXPECT_TRUE(host::clickAreas(header.mouseRects).empty());
}

} // namespace
