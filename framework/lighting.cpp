#include "lighting.h"

#include "chain.h"
#include "host_calls.h"
#include "module_var.h"

namespace gauge {

ModuleVar LightingSwitch = {.id = LightingSwitchVariable};
ModuleVar LightingPower = {.id = LightingPowerVariable};

void switchLighting(GaugeHeader *gauge, uint32_t setSize)
{
    // Both are refreshed every time, even when the first already decides.
    readVariable(LightingSwitch);
    readVariable(LightingPower);
    // Not-a-number compares unequal to 0 but counts as off.
    auto isOn = [](double value) { return value == value && value != 0.0; };
    const bool lightsOn = isOn(variableNumber(LightingSwitch)) && isOn(variableNumber(LightingPower));

    ElementHeader *root = rootElement(gauge);
    for (uint32_t i = 1; i <= setSize; ++i) {
        if (lightsOn)
            showElement(root, i, HiddenFlag);
        else
            hideElement(root, i, HiddenFlag);
    }
    for (uint32_t i = setSize + 1; i <= 2 * setSize; ++i) {
        if (lightsOn)
            hideElement(root, i, HiddenFlag);
        else
            showElement(root, i, HiddenFlag);
    }
}

} // namespace gauge
