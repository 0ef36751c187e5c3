#include "render_commands.h"

#include "json.h"
#include "panel.h"
#include "png_file.h"
#include "script.h"

#include <memory>

namespace host::render {
namespace {

void report(ScriptRunner &script, const std::string &path, const Image &image)
{
    script.out() << "{\"render\":" << json::string(path) << ",\"width\":" << image.width
                 << ",\"height\":" << image.height << "}\n";
}

} // namespace

std::shared_ptr<DrawingSession> registerRenderCommands(ScriptRunner &script)
{
    auto session = std::make_shared<DrawingSession>();

    script.addCommand("panel", "panel PATH", [session](ScriptRunner &s, const ScriptRunner::Arguments &arguments) {
        s.expectArguments(arguments, 1, 1);
        if (session->panel)
            throw ScriptError("a panel is loaded already");
        session->panel = std::make_unique<Panel>(s.host(), readPanelFile(arguments[0]), session->bitmaps);
        const Panel::Slot &first = session->panel->gauges().front();
        s.setModule(first.gauge->module());
        s.setGauge(*first.gauge);
    });


    script.addCommand("render", "render [--areas] [--scale N] PATH",
                      [session](ScriptRunner &s, const ScriptRunner::Arguments &arguments) {
                          s.expectArguments(arguments, 1, 4);
                          bool areas = false;
                          int scale = 0;
                          for (size_t i = 0; i + 1 < arguments.size(); ++i) {
                              if (arguments[i] == "--areas" && !areas) {
                                  areas = true;
                              } else if (arguments[i] == "--scale" && !scale && i + 2 < arguments.size()) {
                                  const int64_t n = parseInteger(arguments[++i]);
                                  if (n < 1 || n > 8)
                                      throw ScriptError("--scale takes 1 to 8, not " + arguments[i]);
                                  scale = static_cast<int>(n);
                              } else {
                                  throw ScriptError("unknown option \"" + arguments[i] +
                                                    "\"; usage: render [--areas] [--scale N] PATH");
                              }
                          }
                          GaugeInstance &gauge = s.gauge();
                          const BitmapSet &bitmaps = session->bitmaps.of(gauge.module());
                          const std::string &path = arguments.back();
                          GaugeRenderer renderer(gauge, bitmaps);
                          if (renderer.width() == 0 || renderer.height() == 0)
                              throw ScriptError("gauge " + gauge.name() + " has no background bitmap to draw on");
                          Image image;
                          if (areas) {
                              image = renderMouseAreas(gauge, bitmaps,
                                                       scale ? scale : mouseAreasScale(renderer.width(), renderer.height()));
                          } else {
                              scale = scale ? scale : 1;
                              renderer.place({0, 0, renderer.width() * scale, renderer.height() * scale});
                              image = Image(renderer.width() * scale, renderer.height() * scale);
                              renderer.draw(image);
                          }
                          writePng(s.outputPath(path), image);
                          report(s, path, image);
                      });

    script.addCommand("renderpanel", "renderpanel PATH",
                      [session](ScriptRunner &s, const ScriptRunner::Arguments &arguments) {
                          s.expectArguments(arguments, 1, 1);
                          if (!session->panel)
                              throw ScriptError("no panel loaded yet (use: panel PATH)");
                          const Image &image = session->panel->render();
                          writePng(s.outputPath(arguments[0]), image);
                          report(s, arguments[0], image);
                      });
    return session;
}

} // namespace host::render
