/* Compiled, never run: the interface header is valid C. */
#include "gauge_abi.h"

#include <stddef.h>

_Static_assert(offsetof(PanelServices, queryElements) == 24 * sizeof(void *), "entry 24");
_Static_assert(offsetof(PanelServices, killElements) == 31 * sizeof(void *), "entry 31");
_Static_assert(offsetof(PanelServices, sendKeyEvent) == 36 * sizeof(void *), "entry 36");
_Static_assert(offsetof(PanelServices, readVariable) == 40 * sizeof(void *), "entry 40");
_Static_assert(sizeof(((ModuleVar *)0)->value) == 8, "a value is eight bytes");

int gauge_abi_c_check(void);
int gauge_abi_c_check(void)
{
    MouseRect tooltip = {.kind = MouseTooltipText, .cursor = -1, .tooltipText = "text"};
    return tooltip.kind;
}
