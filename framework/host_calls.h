// The module's side of the host interface: the exported ImportTable and the
// calls every gauge makes into the host through it.
#pragma once

#include "gauge_abi.h"

#include <cstdint>

extern "C" {
// Defined once per module by the framework; the host writes entry 0's
// services address before it calls into the module.
extern GAUGE_EXPORT ModuleImports ImportTable;
}

namespace gauge {

// The host's services as the host stored them, read afresh on every call so
// that a host may move its table; null until the host has set it.
inline PanelServices *panelServices()
{
    return ImportTable.entries[0].services;
}

// Refreshes variable's value from the host.
inline void readVariable(ModuleVar &variable)
{
    if (PanelServices *services = panelServices(); services && services->readVariable)
        services->readVariable(&variable);
}

// Asks the host to carry out a key event.
inline void sendKeyEvent(uint32_t eventId, uint32_t parameter)
{
    if (PanelServices *services = panelServices(); services && services->sendKeyEvent)
        services->sendKeyEvent(eventId, parameter);
}

} // namespace gauge
