// Scripted time: frames at a fixed rate, variables that change over time,
// the panel lights, picking a gauge, holding a button.
#include "host_model.h"
#include "script.h"

#include <cmath>

namespace host {
namespace {

double parseSeconds(const std::string &word)
{
    const double seconds = parseValue(word);
    if (!(seconds >= 0.0) || seconds > 3600.0)
        throw ScriptError("\"" + word + "\" is not a time from 0 to 3600 seconds");
    return seconds;
}

long frameCount(const ScriptRunner &script, double seconds)
{
    return std::lround(seconds * script.frameRate());
}

void rateCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 1, 1);
    const double rate = parseValue(arguments[0]);
    if (!(rate >= 1.0 && rate <= 100.0))
        throw ScriptError("rate takes 1 to 100 frames per second, not " + arguments[0]);
    // A recording's frames are timed by the rate it began with.
    if (script.watchingFrames())
        throw ScriptError("the rate cannot change while recording");
    script.setFrameRate(rate);
}

void frameCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 0, 0);
    script.runFrame();
}

void waitCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 1, 1);
    for (long i = frameCount(script, parseSeconds(arguments[0])); i > 0; --i)
        script.runFrame();
}

void rampCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
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
    const long frames = std::max(1L, frameCount(script, parseSeconds(arguments.back())));
    for (long frame = 1; frame <= frames; ++frame) {
        const double progress = static_cast<double>(frame) / static_cast<double>(frames);
        for (const Ramp &ramp : ramps)
            script.host().variables().set(ramp.variable, ramp.from + (ramp.to - ramp.from) * progress);
        script.runFrame();
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

// repeat N COMMAND ...: the command, then one frame, N times over, as a
// finger held on a button would.
void repeatCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
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
        script.runFrame();
    }
}

} // namespace

void registerTimeCommands(ScriptRunner &script)
{
    script.addCommand("rate", "rate FPS", rateCommand);
    script.addCommand("frame", "frame", frameCommand);
    script.addCommand("wait", "wait SECONDS", waitCommand);
    script.addCommand("ramp", "ramp VAR FROM TO [VAR FROM TO ...] SECONDS", rampCommand);
    script.addCommand("lights", "lights on|off", lightsCommand);
    script.addCommand("select", "select NAME [N]", selectCommand);
    script.addCommand("repeat", "repeat N COMMAND [ARGUMENTS]", repeatCommand);
}

} // namespace host
