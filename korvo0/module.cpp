// The flight-instrument module's record.
#include "gauge_list.h"
#include "registration.h"

extern "C" {
GAUGE_EXPORT ModuleLinkage Linkage = {
    GAUGE_LINKAGE_HEADER(0),
    .gauges = {&VsiGauge, &AsiGauge, &RpmGauge, &AltimeterGauge, &TrimWheelGauge, nullptr},
};
}
