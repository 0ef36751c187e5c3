#include "render_geometry.h"

#include "host.h"

#include <algorithm>
#include <cmath>

namespace host {
namespace {

constexpr double Pi = 3.14159265358979323846;

// angle reduced into [0, 360).
double wrapped(double angle)
{
    double r = std::fmod(angle, 360.0);
    if (r < 0.0)
        r += 360.0;
    // fmod of a tiny negative number can round up to exactly 360.
    return r >= 360.0 ? 0.0 : r;
}

int32_t pointCount(const Needle &needle)
{
    if (!needle.nonlinearity)
        return 0;
    return std::clamp(needle.nonlinearityCount, 0, MaxTablePoints);
}

} // namespace

double bearing(double fromX, double fromY, double toX, double toY)
{
    const double dx = toX - fromX;
    const double dy = toY - fromY;
    if (dx == 0.0 && dy == 0.0)
        return 0.0;
    // Clockwise from up on a y-down grid: up is (0, -1), right is (1, 0).
    return wrapped(std::atan2(dx, -dy) * 180.0 / Pi);
}

bool hasTable(const Needle &needle)
{
    return pointCount(needle) > 0;
}

void tableAngles(const Needle &needle, std::vector<double> &angles)
{
    const int32_t count = pointCount(needle);
    angles.resize(static_cast<size_t>(count));
    const Point pivot = needle.header.position;
    for (int32_t i = 0; i < count; ++i) {
        const NonlinearityPoint &point = needle.nonlinearity[i];
        const double direction = bearing(pivot.x, pivot.y, point.x, point.y);
        // Each step turns clockwise: the altimeter's two points one pixel
        // apart at the top span all but half a degree of the dial.
        angles[static_cast<size_t>(i)] = i == 0 ? direction : angles[i - 1] + wrapped(direction - angles[i - 1]);
    }
}

double angleOnTable(const NonlinearityPoint *points, const double *angles, int32_t count, double value)
{
    if (count <= 0)
        return 0.0;
    if (count == 1)
        return angles[0];
    // The segment that holds value; the end segments carry values beyond.
    int32_t k = 0;
    while (k < count - 2 && value > points[k + 1].value)
        ++k;
    const double span = points[k + 1].value - points[k].value;
    if (!(span != 0.0) || !std::isfinite(span))
        return angles[k];
    const double t = (value - points[k].value) / span;
    return angles[k] + t * (angles[k + 1] - angles[k]);
}

double needleTargetAngle(const Needle &needle, const std::vector<double> &angles, double value)
{
    if (!std::isfinite(value))
        return std::nan("");
    const int32_t count = std::min(pointCount(needle), static_cast<int32_t>(angles.size()));
    if (count == 0)
        return value;
    return angleOnTable(needle.nonlinearity, angles.data(), count, value);
}

void advanceNeedle(ElementState &state, const Needle &needle)
{
    if (static_cast<int32_t>(state.tableAngles.size()) != pointCount(needle))
        tableAngles(needle, state.tableAngles);
    double target = needleTargetAngle(needle, state.tableAngles, state.value);
    if (!std::isfinite(target)) {
        if (state.angleShown)
            return;
        target = needleTargetAngle(needle, state.tableAngles, 0.0);
    }
    if (!state.angleShown || needle.maxRate <= 0) {
        state.angle = target;
    } else {
        const double rate = static_cast<double>(needle.maxRate);
        state.angle += std::clamp(target - state.angle, -rate, rate);
    }
    state.angleShown = true;
}

double bitmapTurn(const Needle &needle, double angle)
{
    return hasTable(needle) ? angle - 90.0 : angle;
}

} // namespace host
