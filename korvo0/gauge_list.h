// The gauges of the flight-instrument module, in the order Linkage lists them.
#pragma once

#include "gauge_abi.h"

extern GaugeHeader VsiGauge;
extern GaugeHeader AsiGauge;
extern GaugeHeader RpmGauge;
extern GaugeHeader AltimeterGauge;
extern GaugeHeader TrimWheelGauge;
