// The checks that need the bitmaps a module file carries: every bitmap an
// element names is there, lit and day twins have one size, and the click
// areas lie on the gauge, whose size is its root bitmap's.
#include "validate_internal.h"

#include "resources.h"

#include <map>

namespace host::validate {
namespace {

struct BitmapSize {
    int32_t width;
    int32_t height;
    int bitsPerPixel;
};

std::string idText(int32_t id)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(id));
    return text;
}

std::string sizeText(const BitmapSize &size)
{
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

// The bitmap ids an element draws: an icon's pictures, or its one bitmap.
std::vector<int32_t> bitmapIds(const ElementHeader *element)
{
    if (element->kind == KindString)
        return {};
    int32_t count = 1;
    if (element->kind == KindIcon)
        count = std::clamp(reinterpret_cast<const Icon *>(element)->iconCount, 1, MaxIconCount);
    std::vector<int32_t> ids;
    for (int32_t i = 0; i < count; ++i)
        ids.push_back(element->resourceId + i);
    return ids;
}

// The size of a lit gauge's two sets: the chain is the root, a lit set and
// a day set of the same kinds, the lit elements with image-flag bit 0x4 and
// the day elements without. 0 when the chain is not laid out so.
size_t litSetSize(const std::vector<ElementHeader *> &chain)
{
    if (chain.size() < 3 || chain.size() % 2 == 0)
        return 0;
    const size_t n = (chain.size() - 1) / 2;
    for (size_t i = 1; i <= n; ++i) {
        const ElementHeader *lit = chain[i];
        const ElementHeader *day = chain[i + n];
        if (lit->kind != day->kind || !(lit->imageFlags & 0x4) || (day->imageFlags & 0x4))
            return 0;
    }
    return n;
}

} // namespace

void checkBitmaps(const std::string &path, const ModuleMap &map, std::vector<Check> &checks)
{
    Check data{.name = "bitmap data"};
    std::map<int32_t, BitmapSize> bitmaps;
    try {
        for (const BitmapResource &bitmap : readModuleBitmaps(path))
            bitmaps[bitmap.id] = {bitmap.width, bitmap.height, bitmap.bitsPerPixel};
    } catch (const std::exception &error) {
        data.fail(std::string("the module's bitmaps cannot be read: ") + error.what());
    }
    if (data.level == Level::Pass && bitmaps.empty()) {
        data.warn("the module file carries no bitmaps; the bitmap checks are skipped");
        checks.push_back(data);
        return;
    }
    if (data.level == Level::Pass) {
        for (const auto &[id, size] : bitmaps)
            if (size.bitsPerPixel != 8)
                data.warn("bitmap " + idText(id) + " has " + std::to_string(size.bitsPerPixel) +
                          " bits per pixel, not 8");
        data.detail = std::to_string(bitmaps.size()) + " bitmaps";
    }
    checks.push_back(data);
    if (bitmaps.empty())
        return;

    for (const GaugeMap &gauge : map.gauges) {
        Check present{.gauge = gauge.name, .name = "bitmaps"};
        Check onGauge{.gauge = gauge.name, .name = "click areas inside the gauge"};
        for (size_t i = 0; i < gauge.chain.size(); ++i)
            for (int32_t id : bitmapIds(gauge.chain[i]))
                if (!bitmaps.count(id))
                    present.fail(elementName(i, gauge.chain[i]) + ": bitmap " + idText(id) +
                                 " is not in the module file");

        if (const size_t n = litSetSize(gauge.chain)) {
            for (size_t i = 1; i <= n; ++i) {
                const auto litIds = bitmapIds(gauge.chain[i]);
                const auto dayIds = bitmapIds(gauge.chain[i + n]);
                for (size_t k = 0; k < std::min(litIds.size(), dayIds.size()); ++k) {
                    auto lit = bitmaps.find(litIds[k]);
                    auto day = bitmaps.find(dayIds[k]);
                    if (lit == bitmaps.end() || day == bitmaps.end())
                        continue;
                    if (lit->second.width != day->second.width || lit->second.height != day->second.height)
                        present.fail(elementName(i, gauge.chain[i]) + ": lit bitmap " + idText(litIds[k]) + " is " +
                                     sizeText(lit->second) + ", its day twin " + idText(dayIds[k]) + " (element " +
                                     std::to_string(i + n) + ") is " + sizeText(day->second));
                }
            }
            present.detail = "lit and day sets of " + std::to_string(n);
        }

        const auto root = gauge.chain.empty() ? bitmaps.end() : bitmaps.find(gauge.chain[0]->resourceId);
        if (root == bitmaps.end()) {
            onGauge.level = Level::Warn;
            onGauge.detail = "skipped: no root bitmap gives the gauge's size";
        } else {
            const int64_t width = root->second.width, height = root->second.height;
            onGauge.detail = "gauge " + sizeText(root->second);
            for (size_t k = 0; k < gauge.clickAreas.size(); ++k) {
                const ClickArea &area = gauge.clickAreas[k];
                const int64_t left = area.box.x, top = area.box.y;
                const int64_t right = left + area.box.width, bottom = top + area.box.height;
                const size_t record = static_cast<size_t>(area.rect - gauge.mouseRects);
                const std::string name = "mouse record " + std::to_string(record) + " (kind 2)";
                if (right <= 0 || bottom <= 0 || left >= width || top >= height)
                    onGauge.fail(name + ": click area (" + std::to_string(left) + ", " + std::to_string(top) +
                                 ") to (" + std::to_string(right) + ", " + std::to_string(bottom) +
                                 ") lies wholly off the gauge; it can never be clicked");
                else if (left < 0 || top < 0 || right > width || bottom > height)
                    onGauge.warn(name + ": click area (" + std::to_string(left) + ", " + std::to_string(top) +
                                 ") to (" + std::to_string(right) + ", " + std::to_string(bottom) +
                                 ") reaches past the gauge's edge; that part can never be clicked");
            }
            for (size_t i = 0; i < gauge.chain.size(); ++i) {
                const ElementHeader *element = gauge.chain[i];
                if (element->kind != KindStaticImage && element->kind != KindIcon)
                    continue;
                const auto bitmap = bitmaps.find(element->resourceId);
                if (bitmap == bitmaps.end())
                    continue;
                if (element->position.x < 0 || element->position.y < 0 ||
                    int64_t(element->position.x) + bitmap->second.width > width ||
                    int64_t(element->position.y) + bitmap->second.height > height)
                    present.warn(elementName(i, element) + ": its bitmap " + idText(element->resourceId) + " (" +
                                 sizeText(bitmap->second) + ") at (" + std::to_string(element->position.x) + ", " +
                                 std::to_string(element->position.y) + ") reaches past the gauge's edge");
            }
        }
        checks.push_back(present);
        checks.push_back(onGauge);
    }
}

} // namespace host::validate
