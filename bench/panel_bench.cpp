// How long the host takes for the default panel: one host frame (service 6
// to every gauge and one evaluation of every chain), and one frame drawn,
// by the host's renderer and, for reference, by cairo drawing the same
// elements the plain way in the same run.
//
// Run from anywhere; it loads the modules from the build's bin folder.
#include "panel.h"
#include "render_text.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <new>

// Every heap allocation of the process is counted, so that a benchmark can
// report how many its loop made. (The replaced new and delete pair malloc
// with free, which the compiler cannot see.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<uint64_t> allocations{0};
}

void *operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size)
{
    return operator new(size);
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete[](void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

using host::render::Image;
using host::render::Panel;

// The default panel with its gauges shown as a flight would show them.
struct Cockpit {
    host::Host host;
    host::render::BitmapLibrary bitmaps;
    std::unique_ptr<Panel> panel;
    int frame = 0;

    Cockpit()
    {
        std::filesystem::current_path(GAUGE_BIN_DIR);
        panel = std::make_unique<Panel>(host, host::render::readPanelFile(GAUGE_SOURCE_DIR "/examples/default.panel"),
                                        bitmaps);
        host::Variables &v = host.variables();
        v.set(0x0a, 0);       // lights off: the day artwork
        v.set(0x16c, 0);
        v.set(0x4c, 29.92);   // pressure setting
        v.set(0x2b, 1);       // TO
        v.set(0x353, 0);      // NAV flag shown... until move() gives a signal
        v.set(0x354, 1);      // glideslope received
        v.set(0x84, 3);       // start switch on BOTH
        v.set(0x133, 1);      // fuel on LEFT
        v.set(0x143, 0);      // parking brake off
        move();
        for (int i = 0; i < 3; ++i)
            host.frame();
    }

    // One step of a gentle climbing turn: every needle and lever moves.
    void move()
    {
        const double t = ++frame / 18.0;
        host::Variables &v = host.variables();
        v.set(0x3d, 120 + 20 * std::sin(t));          // airspeed
        v.set(0x186, 2400 + 100 * std::sin(t * 0.7)); // engine speed
        v.set(0x4a, 4500 + 50 * t);                   // altitude
        v.set(0x41, 700 * std::sin(t * 0.5));         // vertical speed
        v.set(0x30f, 0.01 * std::sin(t));             // trim
        v.set(0x54, std::fmod(30 + 3 * t, 360));      // heading
        v.set(0x356, 90);                             // course
        v.set(0x357, 120);                            // heading bug
        v.set(0x351, 0.5 * std::sin(t * 0.3));        // lateral deviation
        v.set(0x352, 0.3 * std::cos(t * 0.3));        // glideslope
        v.set(0x353, 1);
        v.set(0x80, 9000 + 500 * std::sin(t));        // throttles and spoiler
        v.set(0xa3, 9000 + 500 * std::cos(t));
        v.set(0x145, 2000 + 1000 * std::sin(t));
    }
};

Cockpit &cockpit()
{
    static Cockpit c;
    return c;
}

void reportAllocations(benchmark::State &state, uint64_t before)
{
    state.counters["allocs/iter"] = benchmark::Counter(static_cast<double>(allocations.load() - before) /
                                                       static_cast<double>(state.iterations()));
}

// One host frame of the nine gauges: service 6 to each, then each chain
// evaluated, with the host variables as they stand.
void HostFrame(benchmark::State &state)
{
    Cockpit &c = cockpit();
    const uint64_t before = allocations.load();
    for (auto _ : state)
        c.host.frame();
    reportAllocations(state, before);
}
BENCHMARK(HostFrame);

// The evaluation alone: every chain of the nine gauges once.
void Evaluate(benchmark::State &state)
{
    Cockpit &c = cockpit();
    const uint64_t before = allocations.load();
    for (auto _ : state)
        for (const Panel::Slot &slot : c.panel->gauges())
            c.host.evaluate(*slot.gauge);
    reportAllocations(state, before);
}
BENCHMARK(Evaluate);

// A frame of the moving panel drawn by the host: only what moved is redrawn.
void Render(benchmark::State &state)
{
    Cockpit &c = cockpit();
    const uint64_t before = allocations.load();
    for (auto _ : state) {
        c.move();
        c.host.frame();
        benchmark::DoNotOptimize(c.panel->render().pixels.data());
    }
    reportAllocations(state, before);
}
BENCHMARK(Render)->Unit(benchmark::kMicrosecond);

// The same frame with every gauge drawn whole (the fixed layers still kept).
void RenderWhole(benchmark::State &state)
{
    Cockpit &c = cockpit();
    const uint64_t before = allocations.load();
    for (auto _ : state) {
        c.move();
        c.host.frame();
        benchmark::DoNotOptimize(c.panel->renderAll().pixels.data());
    }
    reportAllocations(state, before);
}
BENCHMARK(RenderWhole)->Unit(benchmark::kMicrosecond);

// The reference: the same frame drawn with cairo, every element of every
// gauge through its own transform with bilinear filtering, every frame.
void RenderCairo(benchmark::State &state)
{
    Cockpit &c = cockpit();
    std::map<const host::render::Bitmap *, cairo_surface_t *> surfaces;
    std::vector<Image> copies;
    copies.reserve(256);
    auto surfaceOf = [&](const host::render::Bitmap *bitmap) {
        cairo_surface_t *&surface = surfaces[bitmap];
        if (!surface) {
            copies.push_back(bitmap->image());
            Image &image = copies.back();
            surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char *>(image.pixels.data()),
                                                          CAIRO_FORMAT_ARGB32, image.width, image.height,
                                                          image.width * 4);
        }
        return surface;
    };
    cairo_surface_t *target = cairo_image_surface_create(CAIRO_FORMAT_RGB24, c.panel->width(), c.panel->height());
    for (auto _ : state) {
        c.move();
        c.host.frame();
        cairo_t *cr = cairo_create(target);
        cairo_set_source_rgb(cr, 0x2e / 255.0, 0x33 / 255.0, 0x38 / 255.0);
        cairo_paint(cr);
        for (const Panel::Slot &slot : c.panel->gauges()) {
            host::render::GaugeRenderer &renderer = *slot.renderer;
            const auto &items = renderer.prepare();
            cairo_save(cr);
            const auto &r = slot.entry.rect;
            cairo_rectangle(cr, r.x, r.y, r.width, r.height);
            cairo_clip(cr);
            for (size_t i = 0; i < items.size(); ++i) {
                const host::render::DrawItem &item = items[i];
                if (item.kind == host::render::DrawItem::Kind::Picture) {
                    const host::render::Affine m = renderer.placement() * item.gaugeMap;
                    cairo_matrix_t matrix;
                    cairo_matrix_init(&matrix, m.a, m.b, m.c, m.d, m.e, m.f);
                    cairo_save(cr);
                    cairo_transform(cr, &matrix);
                    cairo_set_source_surface(cr, surfaceOf(item.bitmap), 0, 0);
                    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
                    cairo_paint(cr);
                    cairo_restore(cr);
                } else if (item.kind == host::render::DrawItem::Kind::Text) {
                    // The box and its text drawn afresh, as cairo would each frame.
                    const auto &string = reinterpret_cast<const StringElement &>(*slot.gauge->elements()[i].element);
                    const host::render::IRect box = renderer.textBox(i);
                    Image text = host::render::drawTextBox(host::render::TextStyle::of(string),
                                                           slot.gauge->elements()[i].text, box.width, box.height);
                    cairo_surface_t *s = cairo_image_surface_create_for_data(
                        reinterpret_cast<unsigned char *>(text.pixels.data()), CAIRO_FORMAT_ARGB32, text.width,
                        text.height, text.width * 4);
                    cairo_set_source_surface(cr, s, box.x, box.y);
                    cairo_paint(cr);
                    cairo_surface_destroy(s);
                }
            }
            cairo_restore(cr);
        }
        cairo_destroy(cr);
        cairo_surface_flush(target);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(target));
    }
    cairo_surface_destroy(target);
    for (auto &entry : surfaces)
        cairo_surface_destroy(entry.second);
}
BENCHMARK(RenderCairo)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
