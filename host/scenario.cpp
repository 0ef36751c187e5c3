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
    recording.animation = std::make_unique<GifAnimation>(script.outputPath(arguments[0]),
                                                         script.frameRate() / static_cast<double>(every));
    timeline.recording = std::move(recording);
    script.setFrameWatcher([&script, &timeline] { recordFrame(script, timeline); });
}

void stopCommand(ScriptRunner &script, Timeline &timeline, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 0, 0);
    if (!timeline.recording)
        throw ScriptError("no recording is running (start one with: record PATH)");
    Timeline::Recording recording = std::move(*timeline.recording);
    timeline.recording.reset();
    script.setFrameWatcher(nullptr);
    if (recording.frames == 0)
        throw ScriptError("nothing was recorded: no frame ran since record");
    recording.animation->finish();
    script.out() << "{\"record\":" << json::string(recording.path) << ",\"frames\":" << recording.frames
                 << ",\"seconds\":" << json::number(static_cast<double>(recording.frames) / script.frameRate()) << "}\n";
}

} // namespace

void registerScenarioCommands(ScriptRunner &script, std::shared_ptr<render::DrawingSession> drawing)
{
    auto timeline = std::make_shared<Timeline>();
    timeline->drawing = std::move(drawing);
    auto with = [timeline](void (*command)(ScriptRunner &, Timeline &, const ScriptRunner::Arguments &)) {
        return [timeline, command](ScriptRunner &s, const ScriptRunner::Arguments &a) { command(s, *timeline, a); };
    };
    script.addCommand("record", "record PATH [EVERY] [--half]", with(recordCommand));
    script.addCommand("stop", "stop", with(stopCommand));
}

} // namespace host
