// The navigation and engine-control module's record.
#include "gauge_list.h"
#include "registration.h"

extern "C" {
GAUGE_EXPORT ModuleLinkage Linkage = {
    GAUGE_LINKAGE_HEADER(0x800),
    .gauges = {&HsiGauge, &FuelSelectorGauge, &StartGauge, nullptr},
};
}
