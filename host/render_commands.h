// The drawing commands of gaugehost scripts.
#pragma once

#include "panel.h"

#include <memory>

namespace host {
class ScriptRunner;
}

namespace host::render {

// What the drawing commands keep between the lines of one script.
struct DrawingSession {
    BitmapLibrary bitmaps;
    std::unique_ptr<Panel> panel;
};

// Adds to a script runner:
//   panel PATH             load a panel file and create its gauges; the first
//                          becomes the current gauge
//   render [--areas] [--scale N] PATH
//                          the current gauge as last evaluated, as PNG,
//                          transparent where nothing is drawn; --scale
//                          enlarges it N times (1 to 8); --areas shows it
//                          enlarged with its mouse areas over it and a key
//   renderpanel PATH       the whole panel as PNG
// Each writing command prints {"render":PATH,"width":W,"height":H}; PATH is
// taken relative to the script's output folder.
// Returns the session the commands share, for other commands that draw.
std::shared_ptr<DrawingSession> registerRenderCommands(ScriptRunner &script);

} // namespace host::render
