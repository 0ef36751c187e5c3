#include "chain.h"

namespace gauge {

ElementHeader *elementAt(ElementHeader *start, uint32_t steps)
{
    ElementHeader *current = start;
    for (uint32_t i = 0; current && i < steps; ++i)
        current = current->next ? current->next[0] : nullptr;
    return current;
}

void hideElement(ElementHeader *start, uint32_t steps, uint32_t mask)
{
    if (ElementHeader *element = elementAt(start, steps))
        element->imageFlags |= mask;
}

void showElement(ElementHeader *start, uint32_t steps, uint32_t mask)
{
    if (ElementHeader *element = elementAt(start, steps))
        element->imageFlags &= ~mask;
}

} // namespace gauge
