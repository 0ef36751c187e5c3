// The gauges of the navigation and engine-control module, in the order
// Linkage lists them, and what their callbacks share.
#pragma once

#include "gauge_abi.h"
#include "chain.h"

extern GaugeHeader HsiGauge;
extern GaugeHeader FuelSelectorGauge;
extern GaugeHeader StartGauge;

namespace korvo6 {

// The record of the kind an element is; every kind begins with its header.
template <typename Record>
Record &recordOf(ElementHeader *element)
{
    return *reinterpret_cast<Record *>(element);
}

// Sets or clears an element's own HiddenFlag.
inline void setHidden(ElementHeader *element, bool hidden)
{
    if (hidden)
        gauge::hideElement(element, 0, HiddenFlag);
    else
        gauge::showElement(element, 0, HiddenFlag);
}

} // namespace korvo6
