#include "scenario.h"

#include "animation.h"
#include "host_model.h"
#include "json.h"
#include "render.h"
#include "script.h"

#include <cmath>
#include <optional>
#include <ostream>

namespace host {
namespace {

// What the scenario commands keep between the lines of one script.
struct Timeline {
    std::shared_ptr<render::DrawingSession> drawing;
    double rate = DefaultFrameRate;
    struct Recording {
        std::string path;
        int every = 1;
        bool half = false;
        long frames = 0; // host frames since the recording began
        std::unique_ptr<GifAnimation> animation;
        std::unique_ptr<render::GaugeRenderer> gauge; // without a panel
        GaugeInstance *gaugeInstance = nullptr;
        render::Image picture;
        render::Image halved;
    };
    std::optional<Recording> recording;
};

double parseSeconds(const std::string &word)
{
    const double seconds = parseValue(word);
    if (!(seconds >= 0.0) || seconds > 3600.0)
        throw ScriptError("\"" + word + "\" is not a time from 0 to 3600 seconds");
    return seconds;
}

long frameCount(const Timeline &timeline, double seconds)
{
    return std::lround(seconds * timeline.rate);
}

// A picture at half its size, each pixel the mean of a 2 x 2 block (the
// colour is premultiplied, so plain means are right).
void halve(const render::Image &source, render::Image &target)
{
    const int width = source.width / 2, height = source.height / 2;
    if (target.width != width || target.height != height)
        target = render::Image(width, height);
    for (int y = 0; y < height; ++y) {
        const uint32_t *upper = source.row(2 * y);
        const uint32_t *lower = source.row(2 * y + 1);
        uint32_t *out = target.row(y);
        for (int x = 0; x < width; ++x) {
            const uint32_t block[4] = {upper[2 * x], upper[2 * x + 1], lower[2 * x], lower[2 * x + 1]};
            uint32_t pixel = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                uint32_t sum = 2; // rounds to nearest
                for (uint32_t p : block)
                    sum += (p >> shift) & 0xff;
                pixel |= (sum / 4) << shift;
            }
            out[x] = pixel;
        }
    }
}

void addPicture(Timeline::Recording &recording, const render::Image &picture)
{
    if (!recording.half) {
        recording.animation->add(picture);
        return;
    }
    halve(picture, recording.halved);
    recording.animation->add(recording.halved);
}

void recordFrame(ScriptRunner &script, Timeline &timeline)
{
    Timeline::Recording &recording = *timeline.recording;
    if (recording.frames++ % recording.every != 0)
        return;
    if (timeline.drawing->panel) {
        addPicture(recording, timeline.drawing->panel->render());
        return;
    }
    GaugeInstance &gauge = script.gauge();
    if (!recording.gauge || recording.gaugeInstance != &gauge) {
        recording.gauge = std::make_unique<render::GaugeRenderer>(gauge, timeline.drawing->bitmaps.of(gauge.module()));
        recording.gaugeInstance = &gauge;
        if (recording.gauge->width() == 0)
            throw ScriptError("gauge " + gauge.name() + " has no background bitmap to record");
        recording.gauge->place({0, 0, recording.gauge->width(), recording.gauge->height()});
        recording.picture = render::Image(recording.gauge->width(), recording.gauge->height());
    }
    std::fill(recording.picture.pixels.begin(), recording.picture.pixels.end(), 0xff000000u);
    recording.gauge->draw(recording.picture);
    addPicture(recording, recording.picture);
}

// One host frame, and its picture while recording.
void runFrame(ScriptRunner &script, Timeline &timeline)
{
    script.host().frame();
    if (timeline.recording)
        recordFrame(script, timeline);
}

void waitCommand(ScriptRunner &script, Timeline &timeline, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 1, 1);
    for (long i = frameCount(timeline, parseSeconds(arguments[0])); i > 0; --i)
        runFrame(script, timeline);
}

void rampCommand(ScriptRunner &script, Timeline &timeline, const ScriptRunner::Arguments &arguments)
{
    if (arguments.size() < 4 || (arguments.size() - 1) % 3 != 0)
        script.expectArguments(arguments, 4, 4); // reports the usage
    struct Ramp {
        int32_t variable;
        double from, to;
    };
    std::vector<Ramp> ramps;
    for (size_t i = 0; i + 1 < arguments.size(); i += 3) {
        const auto variable = findVariable(arguments[i]);
        if (!variable)
            throw ScriptError("unknown host variable \"" + arguments[i] + "\"");
        ramps.push_back({*variable, parseValue(arguments[i + 1]), parseValue(arguments[i + 2])});
    }
    const long frames = std::max(1L, frameCount(timeline, parseSeconds(arguments.back())));
    for (long frame = 1; frame <= frames; ++frame) {
        const double progress = static_cast<double>(frame) / static_cast<double>(frames);
        for (const Ramp &ramp : ramps)
            script.host().variables().set(ramp.variable, ramp.from + (ramp.to - ramp.from) * progress);
        runFrame(script, timeline);
    }
}

void lightsCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 1, 1);
    if (arguments[0] != "on" && arguments[0] != "off")
        throw ScriptError("lights takes on or off, not \"" + arguments[0] + "\"");
    const double value = arguments[0] == "on" ? 1.0 : 0.0;
    script.host().variables().set(0x0a, value);
    script.host().variables().set(0x16c, value);
}

void selectCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 1, 2);
    const int64_t wanted = arguments.size() > 1 ? parseInteger(arguments[1]) : 1;
    int64_t seen = 0;
    for (const auto &gauge : script.host().instances()) {
        if (gauge->name() == arguments[0] && ++seen == wanted) {
            script.setModule(gauge->module());
            script.setGauge(*gauge);
            return;
        }
    }
    throw ScriptError("there is no gauge \"" + arguments[0] + "\"" +
                      (arguments.size() > 1 ? " number " + arguments[1] : std::string()) + " to select");
}

void recordCommand(ScriptRunner &script, Timeline &timeline, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 1, 3);
    if (timeline.recording)
        throw ScriptError("a recording is running already (end it with: stop)");
    const bool half = arguments.size() > 1 && arguments.back() == "--half";
    const size_t counted = arguments.size() - (half ? 1 : 0);
    if (counted > 2)
        throw ScriptError("usage: record PATH [EVERY] [--half]");
    const int64_t every = counted > 1 ? parseInteger(arguments[1]) : 1;
    if (every < 1 || every > 100)
        throw ScriptError("record keeps every 1st to 100th frame, not every " + arguments[1]);
    if (!timeline.drawing->panel)
        script.gauge(); // without a panel the current gauge is recorded
    Timeline::Recording recording;
    recording.path = arguments[0];
    recording.every = static_cast<int>(every);
    recording.half = half;
    recording.animation =
        std::make_unique<GifAnimation>(script.outputPath(arguments[0]), timeline.rate / static_cast<double>(every));
    timeline.recording = std::move(recording);
}

void stopCommand(ScriptRunner &script, Timeline &timeline, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 0, 0);
    if (!timeline.recording)
        throw ScriptError("no recording is running (start one with: record PATH)");
    Timeline::Recording recording = std::move(*timeline.recording);
    timeline.recording.reset();
    if (recording.frames == 0)
        throw ScriptError("nothing was recorded: no frame ran since record");
    recording.animation->finish();
    script.out() << "{\"record\":" << json::string(recording.path) << ",\"frames\":" << recording.frames
                 << ",\"seconds\":" << json::number(static_cast<double>(recording.frames) / timeline.rate) << "}\n";
}

// repeat N COMMAND ...: the command, then one frame, N times over, as a
// finger held on a button would.
void repeatCommand(ScriptRunner &script, Timeline &timeline, const ScriptRunner::Arguments &arguments)
{
    if (arguments.size() < 2)
        script.expectArguments(arguments, 2, 2);
    const int64_t times = parseInteger(arguments[0]);
    if (times < 0 || times > 100000)
        throw ScriptError("repeat takes 0 to 100000 times, not " + arguments[0]);
    if (arguments[1] == "repeat")
        throw ScriptError("repeat cannot repeat itself");
    const ScriptRunner::Arguments rest(arguments.begin() + 2, arguments.end());
    for (int64_t i = 0; i < times; ++i) {
        script.runCommand(arguments[1], rest);
        runFrame(script, timeline);
    }
}

} // namespace

void registerScenarioCommands(ScriptRunner &script, std::shared_ptr<render::DrawingSession> drawing)
{
    auto timeline = std::make_shared<Timeline>();
    timeline->drawing = std::move(drawing);
    auto with = [timeline](void (*command)(ScriptRunner &, Timeline &, const ScriptRunner::Arguments &)) {
        return [timeline, command](ScriptRunner &s, const ScriptRunner::Arguments &a) { command(s, *timeline, a); };
    };
    script.addCommand("rate", "rate FPS", [timeline](ScriptRunner &s, const ScriptRunner::Arguments &a) {
        s.expectArguments(a, 1, 1);
        const double rate = parseValue(a[0]);
        if (!(rate >= 1.0 && rate <= 100.0))
            throw ScriptError("rate takes 1 to 100 frames per second, not " + a[0]);
        if (timeline->recording)
            throw ScriptError("the rate cannot change while recording");
        timeline->rate = rate;
    });
    script.addCommand("frame", "frame", [timeline](ScriptRunner &s, const ScriptRunner::Arguments &a) {
        s.expectArguments(a, 0, 0);
        runFrame(s, *timeline);
    });
    script.addCommand("wait", "wait SECONDS", with(waitCommand));
    script.addCommand("ramp", "ramp VAR FROM TO [VAR FROM TO ...] SECONDS", with(rampCommand));
    script.addCommand("lights", "lights on|off", lightsCommand);
    script.addCommand("select", "select NAME [N]", selectCommand);
    script.addCommand("record", "record PATH [EVERY] [--half]", with(recordCommand));
    script.addCommand("stop", "stop", with(stopCommand));
    script.addCommand("repeat", "repeat N COMMAND [ARGUMENTS]", with(repeatCommand));
}

} // namespace host
