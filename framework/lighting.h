// The day/night switch of the gauges that carry lit artwork. A lit gauge's
// chain is the root, then the lit set (indexes 1..n), then the day set
// (n+1..2n) in the same order.
#pragma once

#include "gauge_abi.h"

#include <cstdint>

namespace gauge {

// Host variables whose values both have to be non-zero for the lights to be on.
constexpr int32_t LightingSwitchVariable = 0x0a;
constexpr int32_t LightingPowerVariable = 0x16c;

// The module's pair of lighting variables, shared by all its lit gauges.
extern ModuleVar LightingSwitch;
extern ModuleVar LightingPower;

// Refreshes both lighting variables and shows exactly one of the two sets.
void switchLighting(GaugeHeader *gauge, uint32_t setSize);

// The whole gauge callback of a lit gauge: the switch on the frame service.
inline void runLightingOnFrame(GaugeHeader *gauge, int32_t service, uint32_t setSize)
{
    if (service == ServiceFrame)
        switchLighting(gauge, setSize);
}

} // namespace gauge
