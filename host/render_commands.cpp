#include "render_commands.h"

#include "json.h"
#include "panel.h"
#include "png_file.h"
#include "script.h"

#include <memory>

namespace host::render {
namespace {

// What the drawing commands keep between the lines of one script.
struct Session {
    BitmapLibrary bitmaps;
    std::unique_ptr<Panel> panel;
};

void report(ScriptRunner &script, const std::string &path, const Image &image)
{
    script.out() << "{\"render\":" << json::string(path) << ",\"width\":" << image.width
                 << ",\"height\":" << image.height << "}\n";
}

} // namespace

void registerRenderCommands(ScriptRunner &script)
{
    auto session = std::make_shared<Session>();

    script.addCommand("panel", "panel PATH", [session](ScriptRunner &s, const ScriptRunner::Arguments &arguments) {
        s.expectArguments(arguments, 1, 1);
        if (session->panel)
            throw ScriptError("a panel is loaded already");
        session->panel = std::make_unique<Panel>(s.host(), readPanelFile(arguments[0]), session->bitmaps);
        const Panel::Slot &first = session->panel->gauges().front();
        s.setModule(first.gauge->module());
        s.setGauge(*first.gauge);
    });

    script.addCommand("frame", "frame", [](ScriptRunner &s, const ScriptRunner::Arguments &arguments) {
        s.expectArguments(arguments, 0, 0);
        hostFrame(s.host());
    });

    script.addCommand("render", "render [--areas] PATH",
                      [session](ScriptRunner &s, const ScriptRunner::Arguments &arguments) {
                          s.expectArguments(arguments, 1, 2);
                          const bool areas = arguments.size() == 2;
                          if (areas && arguments[0] != "--areas")
                              throw ScriptError("unknown option \"" + arguments[0] + "\"; usage: render [--areas] PATH");
                          GaugeInstance &gauge = s.gauge();
                          const BitmapSet &bitmaps = session->bitmaps.of(gauge.module());
                          const std::string &path = arguments.back();
                          Image image;
                          if (areas) {
                              const GaugeRenderer sizing(gauge, bitmaps);
                              image = renderMouseAreas(gauge, bitmaps,
                                                       mouseAreasScale(sizing.width(), sizing.height()));
                          } else {
                              image = renderGauge(gauge, bitmaps);
                          }
                          if (image.width == 0 || image.height == 0)
                              throw ScriptError("gauge " + gauge.name() + " has no background bitmap to draw on");
                          writePng(path, image);
                          report(s, path, image);
                      });

    script.addCommand("renderpanel", "renderpanel PATH",
                      [session](ScriptRunner &s, const ScriptRunner::Arguments &arguments) {
                          s.expectArguments(arguments, 1, 1);
                          if (!session->panel)
                              throw ScriptError("no panel loaded yet (use: panel PATH)");
                          const Image &image = session->panel->render();
                          writePng(arguments[0], image);
                          report(s, arguments[0], image);
                      });
}

} // namespace host::render
