// Tiny synthetic gauges and bitmaps for the renderer's tests: records built
// in the test, host variables as their sources, pictures a few pixels big.
#pragma once

#include "host.h"
#include "render.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace synthetic {

using host::render::Bitmap;
using host::render::Image;

// A bitmap from a function of (x, y) giving 0xRRGGBB; 0 is pure black,
// which the host leaves undrawn.
inline Bitmap picture(int32_t id, int width, int height, const std::function<uint32_t(int, int)> &colour)
{
    std::vector<uint8_t> indices(static_cast<size_t>(width) * height);
    std::vector<uint32_t> palette;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t c = colour(x, y);
            size_t k = 0;
            while (k < palette.size() && palette[k] != c)
                ++k;
            if (k == palette.size())
                palette.push_back(c);
            indices[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(k);
        }
    palette.resize(256, 0);
    return Bitmap::fromIndexed(id, width, height, indices.data(), palette.data());
}

inline Bitmap solid(int32_t id, int width, int height, uint32_t rgb)
{
    return picture(id, width, height, [rgb](int, int) { return rgb; });
}

inline uint32_t red(uint32_t p) { return (p >> 16) & 0xff; }
inline uint32_t green(uint32_t p) { return (p >> 8) & 0xff; }
inline uint32_t blue(uint32_t p) { return p & 0xff; }
inline uint32_t alpha(uint32_t p) { return p >> 24; }

// A gauge whose records live in this object. Elements are added in chain
// order; chain() links them and makes the header.
class Gauge {
public:
    template <typename Record>
    Record &add(Record record)
    {
        auto &slot = storage_.emplace_back();
        static_assert(sizeof(Record) <= sizeof(Storage));
        auto *placed = new (slot.bytes) Record(record);
        elements_.push_back(reinterpret_cast<ElementHeader *>(placed));
        return *placed;
    }

    GaugeHeader &chain()
    {
        nexts_.assign(elements_.size(), {nullptr, nullptr});
        for (size_t i = 0; i + 1 < elements_.size(); ++i) {
            nexts_[i][0] = elements_[i + 1];
            elements_[i]->next = nexts_[i].data();
        }
        for (ElementHeader *element : elements_)
            element->gauge = &header_;
        list_ = {elements_.empty() ? nullptr : elements_[0], nullptr};
        header_ = {.version = 800, .name = name, .elements = list_.data(), .mouseRects = mouseRects_,
                   .callback = callback};
        return header_;
    }

    ElementHeader &element(size_t i) { return *elements_[i]; }

    const char *name = "Synthetic";
    GaugeCallback callback = nullptr;

private:
    struct Storage {
        alignas(16) unsigned char bytes[512];
    };
    std::deque<Storage> storage_;
    std::vector<ElementHeader *> elements_;
    std::vector<std::array<ElementHeader *, 2>> nexts_;
    std::array<ElementHeader *, 2> list_{};
    GaugeHeader header_{};
    MouseRect mouseRects_[1] = {{.kind = MouseEnd, .cursor = -1}};
};

inline ElementHeader header(int32_t kind, int32_t resourceId, Point position, Point offset = {0, 0},
                            uint32_t flags = 0x3)
{
    return {.kind = kind, .resourceId = resourceId, .position = position, .offset = offset, .imageFlags = flags};
}

// A host with some module loaded to carry synthetic gauge instances.
class Fixture : public ::testing::Test {
protected:
    void SetUp() override { carrier_ = &host_.loadModule(std::string(GAUGE_BIN_DIR) + "/korvo0.gau"); }

    host::GaugeInstance &instance(Gauge &gauge)
    {
        instances_.emplace_back(*carrier_, gauge.chain());
        return instances_.back();
    }

    host::Host host_;
    host::Module *carrier_ = nullptr;
    std::deque<host::GaugeInstance> instances_;
};

} // namespace synthetic
