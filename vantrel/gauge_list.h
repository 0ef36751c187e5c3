// The gauge of the throttle quadrant module.
#pragma once

#include "gauge_abi.h"

extern GaugeHeader VantrelGauge;
