// Panels: a text file that places gauges of module files on one picture, the
// host frame that drives every gauge, and the panel's renderer.
//
// A panel file has one line per gauge, fields separated by blanks:
//
//     MODULE-FILE  GAUGE-NAME  X  Y  WIDTH  HEIGHT
//
// X and Y place the gauge's top-left corner on the panel, WIDTH and HEIGHT
// the size its pixels are scaled to (whole panel pixels, decimal). # starts a
// comment. Module paths are relative to the working folder. Gauges may not
// overlap. The panel reaches as far right and down as its gauges, plus the
// smaller of the left and top margins.
#pragma once

#include "host.h"
#include "render.h"

#include <istream>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace host::render {

struct PanelEntry {
    std::string module;
    std::string gauge;
    IRect rect;
    int line = 0;
};

// Reads a panel file's lines; name is used in messages. Throws HostError
// "name:line: message" on a malformed line or overlapping gauges.
std::vector<PanelEntry> parsePanel(std::istream &in, const std::string &name);
std::vector<PanelEntry> readPanelFile(const std::string &path);

// The bitmaps of every module file the host has loaded, read once each from
// the file.
class BitmapLibrary {
public:
    // Throws HostError when the module file's bitmaps cannot be read.
    const BitmapSet &of(const Module &module);
    // Adds or replaces the bitmaps used for a module (tests use this for
    // synthetic pictures).
    void set(const Module &module, BitmapSet bitmaps);

private:
    std::map<const Module *, BitmapSet> sets_;
};

// Reads a module file's bitmaps into drawable form.
BitmapSet loadModuleBitmaps(const std::string &path);

class Panel {
public:
    // The paint of the panel behind and between the gauges.
    static constexpr uint32_t Background = opaque(0x2e3338);

    // Loads every module file the entries name (once each) and creates one
    // gauge instance per entry.
    Panel(Host &host, const std::vector<PanelEntry> &entries, BitmapLibrary &bitmaps);

    int width() const { return width_; }
    int height() const { return height_; }

    struct Slot {
        PanelEntry entry;
        GaugeInstance *gauge;
        std::unique_ptr<GaugeRenderer> renderer;
    };
    const std::vector<Slot> &gauges() const { return slots_; }

    // Brings the panel picture up to date with the gauges' last evaluation,
    // redrawing only what changed since the previous call.
    const Image &render();
    // Draws the whole panel afresh.
    const Image &renderAll();

private:
    std::vector<Slot> slots_;
    int width_ = 0;
    int height_ = 0;
    Image image_;
};

} // namespace host::render
