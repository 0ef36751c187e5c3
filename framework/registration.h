// What every module has in common for its registration: the module hooks
// that Linkage points at, and the library entry hook.
#pragma once

#include "gauge_abi.h"

#include <cstdint>

namespace gauge {

// Mark the module's taking into use and the end of its use; nothing to do.
void GAUGE_CALL moduleInit();
void GAUGE_CALL moduleDeinit();

// Answers every load and unload notification of the operating system with
// success, so loading never fails on the module's account.
int32_t libraryEntryHook(uint32_t reason);

} // namespace gauge

// Fills the first words of a module's Linkage record.
#define GAUGE_LINKAGE_HEADER(version)                                                              \
    .moduleId = ModuleIdentifier, .moduleInit = gauge::moduleInit,                                 \
    .moduleDeinit = gauge::moduleDeinit, .moduleVersion = (version)
