#include "registration.h"

#include "host_calls.h"

extern "C" {
GAUGE_EXPORT ModuleImports ImportTable = {
    .entries = {{.id = PanelServicesImportId, .services = nullptr}, {.id = 0, .services = nullptr}},
};
}

namespace gauge {

void GAUGE_CALL moduleInit() {}

void GAUGE_CALL moduleDeinit() {}

int32_t libraryEntryHook(uint32_t)
{
    return 1;
}

} // namespace gauge
