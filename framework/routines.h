// The seven gauge routines every header of a module holds. They take no
// gauge argument, so each forwards the chain of the module's first gauge to
// the host's element service, whichever header the host called it through.
#pragma once

#include "gauge_abi.h"

#include <cstdint>

extern "C" {
// Defined by each module: its gauge list.
extern GAUGE_EXPORT ModuleLinkage Linkage;
}

namespace gauge {

void GAUGE_CALL queryRoutine();
void GAUGE_CALL installRoutine(uint32_t argument);
void GAUGE_CALL initializeRoutine();
void GAUGE_CALL updateRoutine();
void GAUGE_CALL generateRoutine(uint32_t argument);
void GAUGE_CALL drawRoutine();
void GAUGE_CALL killRoutine();

} // namespace gauge

// The seven routine slots of a GaugeHeader, in header order.
#define GAUGE_FORWARDING_ROUTINES                                                                  \
    .queryRoutine = gauge::queryRoutine, .installRoutine = gauge::installRoutine,                  \
    .initializeRoutine = gauge::initializeRoutine, .updateRoutine = gauge::updateRoutine,          \
    .generateRoutine = gauge::generateRoutine, .drawRoutine = gauge::drawRoutine,                  \
    .killRoutine = gauge::killRoutine
