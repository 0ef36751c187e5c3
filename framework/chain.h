// Addressing a gauge's elements by their index along the chain: index 0 is
// the root, index k + 1 is entry 0 of index k's next list.
#pragma once

#include "gauge_abi.h"

#include <cstdint>

namespace gauge {

// The element steps down the chain from start, or null past its end.
ElementHeader *elementAt(ElementHeader *start, uint32_t steps);

// Set or clear mask in the imageFlags of elementAt(start, steps), if it exists.
void hideElement(ElementHeader *start, uint32_t steps, uint32_t mask);
void showElement(ElementHeader *start, uint32_t steps, uint32_t mask);

// The gauge's root element: entry 0 of its elements list.
inline ElementHeader *rootElement(const GaugeHeader *gauge)
{
    return gauge && gauge->elements ? gauge->elements[0] : nullptr;
}

} // namespace gauge
