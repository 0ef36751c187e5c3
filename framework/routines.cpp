#include "routines.h"

#include "chain.h"
#include "host_calls.h"

namespace gauge {
namespace {

ElementHeader *firstGaugeRoot()
{
    return rootElement(Linkage.gauges[0]);
}

// Calls one of the host's element services with the first gauge's root.
template <auto Service, typename... Argument>
void forward(Argument... argument)
{
    if (PanelServices *services = panelServices(); services && services->*Service)
        (services->*Service)(firstGaugeRoot(), argument...);
}

} // namespace

void GAUGE_CALL queryRoutine() { forward<&PanelServices::queryElements>(); }
void GAUGE_CALL installRoutine(uint32_t argument) { forward<&PanelServices::installElements>(argument); }
void GAUGE_CALL initializeRoutine() { forward<&PanelServices::initializeElements>(); }
void GAUGE_CALL updateRoutine() { forward<&PanelServices::updateElements>(); }
void GAUGE_CALL generateRoutine(uint32_t argument) { forward<&PanelServices::generateElements>(argument); }
void GAUGE_CALL drawRoutine() { forward<&PanelServices::drawElements>(); }
void GAUGE_CALL killRoutine() { forward<&PanelServices::killElements>(); }

} // namespace gauge
