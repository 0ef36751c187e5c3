#include "demo.h"

#include "host.h"
#include "render_commands.h"
#include "scenario.h"
#include "script.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace host {
namespace {

namespace fs = std::filesystem;

// The pictures the demonstration flight writes, as the page shows them.
struct Exhibit {
    const char *file;
    const char *caption;
};
constexpr Exhibit Exhibits[] = {
    {"flight.gif", "The flight: engine start, take-off power and flaps, climb, a turn onto the new heading "
                   "with the heading bug and course set on the HSI knobs, the altimeter set with its knob, "
                   "the lights coming on at dusk, spoiler and descent."},
    {"panel-day.png", "The panel by day, climbing on course."},
    {"panel-night.png", "The panel at night, lit artwork, descending."},
    {"altimeter-areas.png", "Where a click goes on the altimeter: its knob's two halves."},
    {"quadrant-areas.png", "Where a click goes on the throttle quadrant."},
};

void writePage(const fs::path &folder, double seconds)
{
    std::ofstream page(folder / "index.html");
    page << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         << "<title>gaugehost demonstration</title>\n<style>\n"
         << "body{background:#1d2024;color:#e8e6e3;font-family:sans-serif;margin:2em auto;max-width:1400px}\n"
         << "figure{margin:0 0 2.5em 0}img{max-width:100%;border:1px solid #444}"
         << "figcaption{margin-top:.5em;color:#bbb}code{color:#f0c674}\n</style>\n</head>\n<body>\n"
         << "<h1>The nine gauges on the bench</h1>\n"
         << "<p>korvo0 (airspeed, engine speed, altimeter, vertical speed, trim wheel), Korvo6 (HSI, "
         << "fuel selector, start switch) and vantrel (throttle quadrant), loaded and flown by "
         << "<code>gaugehost</code> from <code>demo.gh</code> in " << std::fixed;
    page.precision(1);
    page << seconds << " seconds. The full log of the run is in <a href=\"demo.log\">demo.log</a>.</p>\n";
    for (const Exhibit &exhibit : Exhibits) {
        if (!fs::exists(folder / exhibit.file))
            continue;
        page << "<figure><img src=\"" << exhibit.file << "\" alt=\"" << exhibit.file << "\">"
             << "<figcaption>" << exhibit.caption << "</figcaption></figure>\n";
    }
    page << "</body>\n</html>\n";
    if (!page)
        throw HostError("cannot write " + (folder / "index.html").string());
}

} // namespace

void registerPanelCommands(ScriptRunner &script)
{
    registerScenarioCommands(script, render::registerRenderCommands(script));
}

int demoCommand(int argc, char **argv)
{
    if (argc > 1) {
        std::cerr << "usage: gaugehost demo [OUTDIR]\n";
        return 2;
    }
    try {
        const auto started = std::chrono::steady_clock::now();
        const fs::path output = fs::absolute(argc == 1 ? argv[0] : "demo-output");
        fs::create_directories(output);
        // The modules, the panel and the flight lie beside gaugehost.
        const fs::path home = fs::canonical("/proc/self/exe").parent_path();
        fs::current_path(home);
        std::ifstream flight("demo.gh");
        if (!flight)
            throw HostError((home / "demo.gh").string() + ": the demonstration flight is missing");

        std::ofstream log(output / "demo.log");
        int status = 0;
        {
            Host host;
            ScriptRunner script(host, log);
            registerPanelCommands(script);
            script.setOutputFolder(output.string());
            status = script.run(flight, (home / "demo.gh").string(), std::cerr);
        }
        if (status != 0)
            return status;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        writePage(output, seconds);
        std::cout << "demo written to " << (output / "index.html").string() << "\n";
        return 0;
    } catch (const std::exception &error) {
        std::cerr << "gaugehost demo: " << error.what() << "\n";
        return 1;
    }
}

} // namespace host
