// The bitmaps each module file carries, checked against what its gauges'
// records use and against the pictures' rules: sizes, 8 bits per pixel,
// lit twins the size and shape of their day twins, pure black only outside
// the shapes.
#include "gauge_abi.h"
#include "platform.h"
#include "resources.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Expected {
    int32_t id;
    int32_t width;
    int32_t height;
};

struct ModuleTable {
    const char *file;
    std::vector<Expected> bitmaps;
};

// Every bitmap of every module, at the size its gauge gives it.
const std::vector<ModuleTable> &moduleTables()
{
    static const std::vector<ModuleTable> tables = {
        {"korvo0.gau",
         {
             // Vsi, Asi, Rpm: day face, day needle, lit face, lit needle.
             {0x100, 302, 302}, {0x101, 138, 21}, {0x102, 302, 302}, {0x103, 138, 21},
             {0x110, 302, 302}, {0x111, 142, 21}, {0x112, 302, 302}, {0x113, 142, 21},
             {0x120, 302, 302}, {0x121, 138, 21}, {0x122, 302, 302}, {0x123, 138, 21},
             // Altimeter: face and three hands, day then lit.
             {0x130, 302, 302}, {0x131, 187, 128}, {0x132, 104, 27}, {0x133, 174, 17},
             {0x134, 302, 302}, {0x135, 187, 128}, {0x136, 104, 27}, {0x137, 174, 17},
             // Trim wheel: black ground, three phases.
             {0x140, 100, 719}, {0x142, 100, 719}, {0x143, 100, 719}, {0x144, 100, 719},
         }},
        {"Korvo6.gau",
         {
             {0x110, 118, 112}, {0x111, 24, 13}, {0x112, 21, 21}, {0x113, 21, 21},
             {0x114, 15, 8},    {0x115, 12, 9},  {0x116, 4, 7},   {0x117, 4, 7},
             {0x118, 62, 70},   {0x119, 90, 90}, {0x120, 63, 72},
             {0x130, 118, 112}, {0x131, 24, 13}, {0x132, 21, 21}, {0x133, 21, 21},
             {0x134, 15, 8},    {0x135, 12, 9},  {0x136, 4, 7},   {0x137, 4, 7},
             {0x138, 62, 70},   {0x139, 90, 90}, {0x140, 63, 72},
             {0x151, 171, 171}, {0x152, 171, 171}, {0x153, 171, 171}, {0x154, 171, 171},
             {0x160, 77, 50},   {0x162, 77, 50}, {0x163, 77, 50}, {0x164, 77, 50},
             {0x165, 77, 50},   {0x166, 77, 50},
         }},
        {"vantrel.gau",
         {
             {0x100, 320, 329}, {0x1100, 91, 65}, {0x1101, 91, 65}, {0x1200, 83, 97},
             {0x1300, 83, 97},  {0x1400, 54, 61}, {0x1500, 44, 26},
         }},
    };
    return tables;
}

std::string modulePath(const char *file)
{
    return std::string(GAUGE_BIN_DIR) + "/" + file;
}

// The bitmaps of a module file by id, read once per file.
const std::map<int32_t, host::BitmapResource> &bitmapsOf(const char *file)
{
    static std::map<std::string, std::map<int32_t, host::BitmapResource>> cache;
    auto found = cache.find(file);
    if (found == cache.end()) {
        std::map<int32_t, host::BitmapResource> byId;
        for (host::BitmapResource &b : host::readModuleBitmaps(modulePath(file)))
            byId.emplace(b.id, std::move(b));
        found = cache.emplace(file, std::move(byId)).first;
    }
    return found->second;
}

const host::BitmapResource &bitmap(const char *file, int32_t id)
{
    const auto &all = bitmapsOf(file);
    const auto found = all.find(id);
    if (found == all.end())
        throw std::runtime_error(std::string(file) + " has no bitmap " + std::to_string(id));
    return found->second;
}

bool isBlack(const host::BitmapResource &b, int32_t x, int32_t y)
{
    return b.colourAt(x, y) == host::PaletteColour{0, 0, 0};
}

size_t blackPixels(const host::BitmapResource &b)
{
    size_t count = 0;
    for (int32_t y = 0; y < b.height; ++y)
        for (int32_t x = 0; x < b.width; ++x)
            count += isBlack(b, x, y);
    return count;
}

// Black pixels within radius of a centre (pixel centres).
size_t blackWithin(const host::BitmapResource &b, double cx, double cy, double radius)
{
    size_t count = 0;
    for (int32_t y = 0; y < b.height; ++y)
        for (int32_t x = 0; x < b.width; ++x)
            if (std::hypot(x - cx, y - cy) <= radius && isBlack(b, x, y))
                ++count;
    return count;
}

TEST(ModuleBitmaps, EveryListedBitmapIsInItsModuleAtItsSize)
{
    for (const ModuleTable &table : moduleTables()) {
        SCOPED_TRACE(table.file);
        const auto &all = bitmapsOf(table.file);
        std::set<int32_t> listed;
        for (const Expected &e : table.bitmaps) {
            listed.insert(e.id);
            const auto found = all.find(e.id);
            ASSERT_NE(found, all.end()) << "no bitmap " << e.id;
            const host::BitmapResource &b = found->second;
            EXPECT_EQ(b.width, e.width) << "bitmap " << e.id;
            EXPECT_EQ(b.height, e.height) << "bitmap " << e.id;
            EXPECT_EQ(b.bitsPerPixel, 8) << "bitmap " << e.id;
            EXPECT_LE(b.paletteSize, 256) << "bitmap " << e.id;
        }
        // Nothing beyond the list either (no 0x141, 0x155, 0x161 ...).
        for (const auto &[id, b] : all)
            EXPECT_TRUE(listed.count(id)) << "unlisted bitmap " << id;
    }
}

// The ids an element draws: an icon's run of pictures, or its one bitmap;
// strings have none.
std::vector<int32_t> elementBitmaps(const ElementHeader *element)
{
    if (element->resourceId == -1 || element->kind == KindString)
        return {};
    if (element->kind == KindIcon) {
        const auto *icon = reinterpret_cast<const Icon *>(element);
        std::vector<int32_t> ids;
        for (int32_t i = 0; i < std::max(1, icon->iconCount); ++i)
            ids.push_back(element->resourceId + i);
        return ids;
    }
    return {element->resourceId};
}

// The gauges a module's Linkage lists.
std::vector<GaugeHeader *> moduleGauges(platform::LibraryHandle library)
{
    std::vector<GaugeHeader *> gauges;
    auto *linkage = static_cast<ModuleLinkage *>(platform::entryPoint(library, "Linkage"));
    if (!linkage)
        return gauges;
    for (GaugeHeader *header : linkage->gauges) {
        if (!header)
            break;
        gauges.push_back(header);
    }
    return gauges;
}

TEST(ModuleBitmaps, EveryBitmapTheRecordsUseIsThere)
{
    for (const ModuleTable &table : moduleTables()) {
        SCOPED_TRACE(table.file);
        std::map<int32_t, Expected> sizes;
        for (const Expected &e : table.bitmaps)
            sizes[e.id] = e;
        platform::LibraryHandle library = platform::loadLibraryFile(modulePath(table.file).c_str());
        ASSERT_NE(library, nullptr) << platform::lastLoaderError();
        const auto &all = bitmapsOf(table.file);
        size_t used = 0;
        const std::vector<GaugeHeader *> gauges = moduleGauges(library);
        EXPECT_FALSE(gauges.empty());
        for (GaugeHeader *gauge : gauges) {
            SCOPED_TRACE(gauge->name);
            std::set<const ElementHeader *> seen;
            for (const ElementHeader *e = gauge->elements[0]; e && seen.insert(e).second;
                 e = e->next ? e->next[0] : nullptr) {
                for (int32_t id : elementBitmaps(e)) {
                    ++used;
                    ASSERT_TRUE(sizes.count(id)) << "the records use bitmap " << id << ", which no table lists";
                    const auto found = all.find(id);
                    ASSERT_NE(found, all.end()) << "bitmap " << id << " missing from the module";
                    EXPECT_EQ(found->second.width, sizes[id].width) << "bitmap " << id;
                    EXPECT_EQ(found->second.height, sizes[id].height) << "bitmap " << id;
                    EXPECT_EQ(found->second.bitsPerPixel, 8) << "bitmap " << id;
                }
            }
        }
        EXPECT_GT(used, 0u);
        platform::freeLibrary(library);
    }
}

struct Twins {
    const char *file;
    std::vector<int32_t> day;
    int32_t distance;
};

TEST(ModuleBitmaps, LitTwinsHaveTheShapeOfTheirDayTwins)
{
    const Twins twins[] = {
        {"korvo0.gau", {0x100, 0x101, 0x110, 0x111, 0x120, 0x121}, 2},
        {"korvo0.gau", {0x130, 0x131, 0x132, 0x133}, 4},
        {"Korvo6.gau", {0x110, 0x111, 0x112, 0x113, 0x114, 0x115, 0x116, 0x117, 0x118, 0x119, 0x120}, 0x20},
    };
    for (const Twins &t : twins) {
        for (int32_t id : t.day) {
            SCOPED_TRACE(std::string(t.file) + " bitmap " + std::to_string(id));
            const host::BitmapResource &day = bitmap(t.file, id);
            const host::BitmapResource &lit = bitmap(t.file, id + t.distance);
            ASSERT_EQ(lit.width, day.width);
            ASSERT_EQ(lit.height, day.height);
            // Same geometry: black exactly where the day picture has it.
            size_t differing = 0;
            size_t sameColour = 0;
            for (int32_t y = 0; y < day.height; ++y)
                for (int32_t x = 0; x < day.width; ++x) {
                    differing += isBlack(day, x, y) != isBlack(lit, x, y);
                    sameColour += !isBlack(day, x, y) && day.colourAt(x, y) == lit.colourAt(x, y);
                }
            EXPECT_EQ(differing, 0u);
            // And in other colours: not a copy of the day picture.
            EXPECT_LT(sameColour, static_cast<size_t>(day.width) * day.height / 2);
        }
    }
}

struct Face {
    const char *file;
    int32_t id;
    double cx;
    double cy;
    double radius; // of the face inside the bezel, at least
};

TEST(ModuleBitmaps, FacesAreBlackOutsideTheirBezelAndNeverInside)
{
    const Face faces[] = {
        {"korvo0.gau", 0x100, 155, 151, 135}, {"korvo0.gau", 0x102, 155, 151, 135},
        {"korvo0.gau", 0x110, 150, 150, 138}, {"korvo0.gau", 0x112, 150, 150, 138},
        {"korvo0.gau", 0x120, 150, 150, 138}, {"korvo0.gau", 0x122, 150, 150, 138},
        {"korvo0.gau", 0x130, 156, 154, 134}, {"korvo0.gau", 0x134, 156, 154, 134},
        {"Korvo6.gau", 0x110, 59, 58, 53},    {"Korvo6.gau", 0x130, 59, 58, 53},
    };
    for (const Face &f : faces) {
        SCOPED_TRACE(std::string(f.file) + " bitmap " + std::to_string(f.id));
        const host::BitmapResource &b = bitmap(f.file, f.id);
        for (auto [x, y] : {std::pair{0, 0}, {b.width - 1, 0}, {0, b.height - 1}, {b.width - 1, b.height - 1}})
            EXPECT_TRUE(isBlack(b, x, y)) << "corner " << x << "," << y;
        EXPECT_EQ(blackWithin(b, f.cx, f.cy, f.radius), 0u);
    }
}

TEST(ModuleBitmaps, HsiFaceGroundsHaveTheirOwnColours)
{
    EXPECT_EQ(bitmap("Korvo6.gau", 0x110).colourAt(59, 58), (host::PaletteColour{1, 2, 2}));
    EXPECT_EQ(bitmap("Korvo6.gau", 0x130).colourAt(59, 58), (host::PaletteColour{32, 32, 32}));
}

TEST(ModuleBitmaps, AllBlackBackgroundsAreBlackThroughout)
{
    const std::pair<const char *, int32_t> grounds[] = {{"korvo0.gau", 0x140}, {"Korvo6.gau", 0x151}, {"Korvo6.gau", 0x160}};
    for (const auto &[file, id] : grounds) {
        const host::BitmapResource &b = bitmap(file, id);
        EXPECT_EQ(blackPixels(b), static_cast<size_t>(b.width) * b.height) << file << " bitmap " << id;
    }
}

TEST(ModuleBitmaps, IconGroundsCoverTheirWholeBitmapWithoutBlack)
{
    const struct {
        const char *file;
        int32_t first;
        int32_t count;
        host::PaletteColour ground;
    } icons[] = {
        {"korvo0.gau", 0x142, 3, {2, 2, 1}},
        {"Korvo6.gau", 0x152, 3, {34, 34, 33}},
        {"Korvo6.gau", 0x162, 5, {18, 18, 18}},
    };
    for (const auto &icon : icons) {
        for (int32_t id = icon.first; id < icon.first + icon.count; ++id) {
            SCOPED_TRACE(std::string(icon.file) + " bitmap " + std::to_string(id));
            const host::BitmapResource &b = bitmap(icon.file, id);
            EXPECT_EQ(blackPixels(b), 0u);
            EXPECT_EQ(b.colourAt(0, 0), icon.ground);
            EXPECT_EQ(b.colourAt(b.width - 1, b.height - 1), icon.ground);
        }
    }
}

TEST(ModuleBitmaps, IconPhasesAndPositionsDiffer)
{
    // Each picture of an icon shows something the others do not.
    const std::pair<const char *, std::vector<int32_t>> runs[] = {
        {"korvo0.gau", {0x142, 0x143, 0x144}},
        {"Korvo6.gau", {0x152, 0x153, 0x154}},
        {"Korvo6.gau", {0x162, 0x163, 0x164, 0x165, 0x166}},
        {"vantrel.gau", {0x1100, 0x1101}},
    };
    for (const auto &[file, ids] : runs)
        for (size_t i = 0; i < ids.size(); ++i)
            for (size_t j = i + 1; j < ids.size(); ++j)
                EXPECT_NE(bitmap(file, ids[i]).pixels, bitmap(file, ids[j]).pixels)
                    << file << " " << ids[i] << " and " << ids[j];
}

TEST(ModuleBitmaps, MovingPartsAreBlackAroundTheirShape)
{
    const struct {
        const char *file;
        int32_t id;
        int32_t pivotX; // a pixel of the part itself: its hub, or its middle
        int32_t pivotY;
    } parts[] = {
        {"korvo0.gau", 0x101, 32, 9},   {"korvo0.gau", 0x111, 14, 10},  {"korvo0.gau", 0x121, 10, 10},
        {"korvo0.gau", 0x131, 67, 60},  {"korvo0.gau", 0x132, 15, 12},  {"korvo0.gau", 0x133, 50, 7},
        {"Korvo6.gau", 0x112, 11, 11},  {"Korvo6.gau", 0x113, 11, 11},  {"Korvo6.gau", 0x118, 31, 5},
        {"Korvo6.gau", 0x119, 45, 3},   {"Korvo6.gau", 0x120, 31, 36},
        {"vantrel.gau", 0x1100, 45, 32}, {"vantrel.gau", 0x1101, 45, 32}, {"vantrel.gau", 0x1200, 40, 70},
        {"vantrel.gau", 0x1300, 42, 70}, {"vantrel.gau", 0x1400, 20, 20}, {"vantrel.gau", 0x1500, 22, 13},
    };
    for (const auto &p : parts) {
        SCOPED_TRACE(std::string(p.file) + " bitmap " + std::to_string(p.id));
        const host::BitmapResource &b = bitmap(p.file, p.id);
        EXPECT_TRUE(isBlack(b, 0, 0) || isBlack(b, b.width - 1, 0));
        EXPECT_TRUE(isBlack(b, 0, b.height - 1) || isBlack(b, b.width - 1, b.height - 1));
        EXPECT_FALSE(isBlack(b, p.pivotX, p.pivotY));
        EXPECT_GT(blackPixels(b), 0u);
    }
}

TEST(ModuleBitmaps, QuadrantPlateIsBlackOnlyAtItsOuterColumns)
{
    const host::BitmapResource &plate = bitmap("vantrel.gau", 0x100);
    size_t inner = 0;
    for (int32_t y = 0; y < plate.height; ++y)
        for (int32_t x = 4; x < plate.width - 4; ++x)
            inner += isBlack(plate, x, y);
    EXPECT_EQ(inner, 0u);
    EXPECT_TRUE(isBlack(plate, 0, 100));
    EXPECT_TRUE(isBlack(plate, plate.width - 1, 100));
}

} // namespace

namespace {

struct TablePoint {
    int32_t x;
    int32_t y;
};

struct DialMarks {
    const char *file;
    int32_t face;
    int32_t pivotX;
    int32_t pivotY;
    double markRadius; // within the scale's marks
    std::vector<TablePoint> points;
};

// The brightest pixel around a point: the marks are anti-aliased lines.
int brightnessNear(const host::BitmapResource &b, double x, double y)
{
    int best = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int px = int(std::lround(x)) + dx;
            const int py = int(std::lround(y)) + dy;
            if (px < 0 || py < 0 || px >= b.width || py >= b.height)
                continue;
            const host::PaletteColour c = b.colourAt(px, py);
            best = std::max(best, (c.r * 299 + c.g * 587 + c.b * 114) / 1000);
        }
    return best;
}

// A needle at a table value points from its pivot towards that table
// point; the face must carry a mark there, on the day and the lit face.
TEST(ModuleBitmaps, DialMarksStandWhereTheNeedleTablesPoint)
{
    const DialMarks dials[] = {
        {"korvo0.gau", 0x100, 155, 151, 118,
         {{271, 152}, {236, 238}, {148, 274}, {61, 238}, {32, 198}, {24, 152}, {32, 107}, {60, 62},
          {149, 26}, {237, 62}, {273, 150}}},
        // The airspeed's first point (0 knots, straight up) has no mark.
        {"korvo0.gau", 0x110, 150, 150, 128,
         {{188, 28}, {245, 69}, {274, 134}, {257, 214}, {183, 271}, {96, 263}, {33, 195}, {34, 102}, {90, 40}}},
        {"korvo0.gau", 0x120, 150, 150, 126,
         {{54, 230}, {23, 150}, {52, 68}, {126, 24}, {211, 39}, {268, 104}, {268, 191}, {213, 259}}},
        // The altimeter's table turns once per 1000 from straight up; each
        // numeral's long mark is a tenth of a turn on.
        {"korvo0.gau", 0x130, 156, 154, 124, {}},
    };
    for (const DialMarks &d : dials) {
        std::vector<double> angles;
        for (const TablePoint &p : d.points)
            angles.push_back(std::atan2(p.y - d.pivotY, p.x - d.pivotX));
        if (d.points.empty())
            for (int n = 0; n < 10; ++n)
                angles.push_back((-90 + 36 * n) * 3.14159265358979 / 180);
        for (int32_t id : {d.face, d.face + (d.face == 0x130 ? 4 : 2)}) {
            const host::BitmapResource &face = bitmap(d.file, id);
            for (double angle : angles) {
                const double x = d.pivotX + 0.5 + d.markRadius * std::cos(angle) - 0.5;
                const double y = d.pivotY + 0.5 + d.markRadius * std::sin(angle) - 0.5;
                EXPECT_GT(brightnessNear(face, x, y), 150)
                    << "bitmap " << id << ": no mark at " << angle * 180 / 3.14159265358979 << " degrees";
            }
        }
    }
}

} // namespace
