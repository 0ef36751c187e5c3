// The throttle quadrant module's record: one gauge, no gauge routines.
#include "gauge_list.h"
#include "registration.h"

extern "C" {
GAUGE_EXPORT ModuleLinkage Linkage = {
    GAUGE_LINKAGE_HEADER(0x800),
    .gauges = {&VantrelGauge, nullptr},
};
}
