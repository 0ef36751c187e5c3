#include "host_model.h"

#include "host.h"
#include "script.h"

#include <algorithm>
#include <cmath>

namespace host {
namespace {

// Altimeter setting limits of the host, in inches of mercury.
constexpr int64_t LowestSettingHundredths = 2800;
constexpr int64_t HighestSettingHundredths = 3100;

// The altimeter setting is kept in whole hundredths and published a
// millionth above the hundredth, so that a readout which truncates (as the
// altimeter's does) shows the hundredth the knob set rather than the one
// below it, which the float64 nearest to many hundredths would give.
void stepAltimeterSetting(Host &host, int step)
{
    Variables &variables = host.variables();
    const double current = variables.get(0x4c);
    // A setting outside the host's range (or not a number) starts from its edge.
    const double inRange = std::isnan(current) ? 29.92 : std::clamp(current, 28.0, 31.0);
    const int64_t hundredths = std::clamp<int64_t>(std::llround(inRange * 100.0) + step,
                                                   LowestSettingHundredths, HighestSettingHundredths);
    variables.set(0x4c, static_cast<double>(hundredths) / 100.0 + 1e-6);
}

// Degrees kept within 0 to 359 after a knob step.
void stepDegrees(Host &host, int32_t variable, double step)
{
    Variables &variables = host.variables();
    double degrees = std::fmod(variables.get(variable) + step, 360.0);
    if (!(degrees >= 0.0))
        degrees = std::isnan(degrees) ? 0.0 : degrees + 360.0;
    variables.set(variable, degrees);
}

// A knob picture turns a little with every click.
constexpr double KnobPictureStep = 15.0;

void stepCourse(Host &host, int direction)
{
    stepDegrees(host, 0x356, direction);
    stepDegrees(host, 0x2d, direction * KnobPictureStep);
}

void stepHeadingBug(Host &host, int direction)
{
    stepDegrees(host, 0x357, direction);
    stepDegrees(host, 0x6b, direction * KnobPictureStep);
}

void stepStartSwitch(Host &host, int step)
{
    const double position = host.variables().get(0x84) + step;
    host.variables().set(0x84, std::clamp(position, 0.0, 4.0));
}

} // namespace

const std::vector<VariableInfo> &knownVariables()
{
    static const std::vector<VariableInfo> variables = {
        {0x0a, "panel_lights", false, "panel light switch; lit artwork needs it and 0x16c non-zero"},
        {0x16c, "panel_power", false, "panel light power"},
        {0x2b, "nav_to_from", true, "0 no signal, 1 TO, 2 FROM"},
        {0x2d, "course_knob", false, "course knob picture angle, degrees"},
        {0x3d, "airspeed", false, "indicated airspeed, knots"},
        {0x41, "vertical_speed", false, "vertical speed, feet per minute / 0.769"},
        {0x4a, "altitude", false, "indicated altitude, feet"},
        {0x4c, "altimeter_setting", false, "altimeter setting, inches of mercury"},
        {0x54, "heading", false, "heading, degrees"},
        {0x6b, "heading_knob", false, "heading knob picture angle, degrees"},
        {0x80, "left_throttle", false, "left throttle lever, -16384 reverse to 16384 full"},
        {0x84, "start_switch", true, "start switch: 0 OFF, 1 R, 2 L, 3 BOTH, 4 START"},
        {0x9c, "flaps_handle", false, "flaps handle as last commanded, 0 to 16384"},
        {0xa3, "right_throttle", false, "right throttle lever, -16384 to 16384"},
        {0x133, "fuel_selector", true, "fuel selector: 0 OFF, 2 LEFT, 3 RIGHT (1 also shows LEFT)"},
        {0x143, "parking_brake", false, "parking brake, 0 released to 32767 set"},
        {0x145, "spoiler", false, "spoiler lever, 0 retracted to 16384 extended"},
        {0x186, "engine_rpm", false, "engine speed, revolutions per minute"},
        {0x30f, "elevator_trim", false, "elevator trim position"},
        {0x351, "nav_deviation", false, "lateral deviation, -1 to 1 full scale"},
        {0x352, "glideslope_deviation", false, "glideslope deviation, -1 to 1"},
        {0x353, "nav_flag", false, "NAV flag: greater than 0 while the signal is good"},
        {0x354, "glideslope_valid", false, "greater than 0 while the glideslope is received"},
        {0x356, "course", false, "selected course, degrees"},
        {0x357, "heading_bug", false, "heading bug, degrees"},
    };
    return variables;
}

const std::vector<KeyEventInfo> &knownKeyEvents()
{
    static const std::vector<KeyEventInfo> events = {
        {0x1015b, "altimeter_setting_up", "0x4c up one hundredth (to 31.00)",
         [](Host &host, double) { stepAltimeterSetting(host, +1); }},
        {0x1015c, "altimeter_setting_down", "0x4c down one hundredth (to 28.00)",
         [](Host &host, double) { stepAltimeterSetting(host, -1); }},
        {0x1007e, "course_down", "0x356 down one degree; the course knob picture (0x2d) turns",
         [](Host &host, double) { stepCourse(host, -1); }},
        {0x1007f, "course_up", "0x356 up one degree; the course knob picture (0x2d) turns",
         [](Host &host, double) { stepCourse(host, +1); }},
        {0x10157, "heading_bug_up", "0x357 up one degree; the heading knob picture (0x6b) turns",
         [](Host &host, double) { stepHeadingBug(host, +1); }},
        {0x10158, "heading_bug_down", "0x357 down one degree; the heading knob picture (0x6b) turns",
         [](Host &host, double) { stepHeadingBug(host, -1); }},
        {0x101a3, "fuel_selector_off", "0x133 = 0", [](Host &host, double) { host.variables().set(0x133, 0); }},
        {0x101a5, "fuel_selector_left", "0x133 = 2", [](Host &host, double) { host.variables().set(0x133, 2); }},
        {0x101a6, "fuel_selector_right", "0x133 = 3", [](Host &host, double) { host.variables().set(0x133, 3); }},
        {0x10062, "start_switch_back", "0x84 one position back, not below OFF",
         [](Host &host, double) { stepStartSwitch(host, -1); }},
        {0x10063, "start_switch_on", "0x84 one position on, not beyond START",
         [](Host &host, double) { stepStartSwitch(host, +1); }},
        {0x102b0, "start_engage", "0x84 = 4, START", [](Host &host, double) { host.variables().set(0x84, 4); }},
        {0x1011c, "left_throttle_set", "0x80 = parameter", [](Host &host, double p) { host.variables().set(0x80, p); }},
        {0x1011d, "right_throttle_set", "0xa3 = parameter", [](Host &host, double p) { host.variables().set(0xa3, p); }},
        {0x100fa, "spoiler_set", "0x145 = parameter", [](Host &host, double p) { host.variables().set(0x145, p); }},
        {0x100a2, "flaps_set", "0x9c = parameter",
         [](Host &host, double p) { host.variables().set(FlapsHandleVariable, p); }},
        {0x100d8, "parking_brake_toggle", "0x143 between 0 (released) and 32767 (set)",
         [](Host &host, double) {
             Variables &variables = host.variables();
             variables.set(0x143, variables.get(0x143) > 0.0 ? 0.0 : 32767.0);
         }},
    };
    return events;
}

const VariableInfo *variableInfo(int32_t id)
{
    const auto &variables = knownVariables();
    const auto found = std::find_if(variables.begin(), variables.end(), [id](const auto &v) { return v.id == id; });
    return found == variables.end() ? nullptr : &*found;
}

std::optional<int32_t> findVariable(const std::string &word)
{
    for (const VariableInfo &variable : knownVariables())
        if (word == variable.name)
            return variable.id;
    int64_t id = 0;
    try {
        id = parseInteger(word);
    } catch (const ScriptError &) {
        return std::nullopt;
    }
    if (id < INT32_MIN || id > INT32_MAX || !variableInfo(static_cast<int32_t>(id)))
        return std::nullopt;
    return static_cast<int32_t>(id);
}

void applyKeyEvent(Host &host, const KeyEvent &event)
{
    const auto &events = knownKeyEvents();
    const auto found = std::find_if(events.begin(), events.end(), [&](const auto &e) { return e.id == event.id; });
    if (found != events.end())
        found->apply(host, event.parameter);
}

} // namespace host
