// Where the host draws a needle: the angle of each point of its table, the
// value-to-angle mapping, and the turning-rate limit from frame to frame.
//
// Angles here are degrees clockwise from straight up (12 o'clock), measured
// on the gauge's pixels (y grows downwards). They are never wrapped: a table
// that runs once round its dial spans nearly 360 degrees.
#pragma once

#include "gauge_abi.h"

#include <cstdint>
#include <vector>

namespace host {

struct ElementState;

// The most points of a needle table the host reads.
constexpr int32_t MaxTablePoints = 256;

// Direction from (fromX, fromY) towards (toX, toY), degrees clockwise from
// straight up, in [0, 360). A zero-length direction gives 0.
double bearing(double fromX, double fromY, double toX, double toY);

// The angle of every table point around the needle's position, unwrapped so
// that each step from one point to the next turns clockwise by 0 to just
// under 360 degrees. The first point's angle lies in [0, 360).
void tableAngles(const Needle &needle, std::vector<double> &angles);

// The angle for value along a table whose point angles are given: linear
// between neighbouring points, extrapolated along the end segments beyond
// the first and last point. A table of one point gives that point's angle.
double angleOnTable(const NonlinearityPoint *points, const double *angles, int32_t count, double value);

// The angle the needle is to point at for value: through its table, or, for
// a needle without a table, the value itself (its bitmap is drawn upright and
// turned clockwise by the value). Not-a-number and infinities give
// not-a-number.
double needleTargetAngle(const Needle &needle, const std::vector<double> &angles, double value);

// Moves the needle's drawn angle towards the target of its last evaluated
// value. The first evaluation shows the target at once; after that each
// evaluation (one per host frame) turns at most maxRate degrees; maxRate 0 or
// less means no limit. A target that is not a number leaves the drawn angle
// where it was (on the first evaluation: where value 0 would put it).
void advanceNeedle(ElementState &state, const Needle &needle);

// How the host turns a needle's bitmap: clockwise degrees from the bitmap as
// stored. A table needle's bitmap points towards +x (90 degrees), a needle
// without a table is drawn upright.
double bitmapTurn(const Needle &needle, double angle);

// A table is used when it has at least one point.
bool hasTable(const Needle &needle);

} // namespace host
