// Holds the compiler at hand to the record layout the module-file checks
// assume for its pointer size. Compiled in every build, native and Windows.
#include "gauge_abi.h"
#include "record_layout.h"

#include <cstddef>

namespace {

constexpr pe::RecordLayout layout = pe::recordLayout(sizeof(void *));

static_assert(offsetof(ModuleLinkage, moduleInit) == layout.linkageInit);
static_assert(offsetof(ModuleLinkage, moduleDeinit) == layout.linkageDeinit);
static_assert(offsetof(ModuleLinkage, moduleVersion) == layout.linkageVersion);
static_assert(offsetof(ModuleLinkage, gauges) == layout.linkageGauges);
static_assert(offsetof(GaugeHeader, name) == layout.gaugeName);
static_assert(offsetof(GaugeHeader, elements) == layout.gaugeElements);
static_assert(offsetof(GaugeHeader, queryRoutine) == layout.gaugeFirstRoutine);
static_assert(offsetof(GaugeHeader, killRoutine) == layout.gaugeFirstRoutine + 6 * sizeof(void *));
static_assert(offsetof(GaugeHeader, sizeMm) == layout.gaugeSizeMm);
static_assert(offsetof(GaugeHeader, mouseRects) == layout.gaugeMouseRects);
static_assert(offsetof(GaugeHeader, callback) == layout.gaugeCallback);
static_assert(offsetof(ElementHeader, position) == layout.elementPosition);
static_assert(offsetof(ElementHeader, offset) == layout.elementOffset);
static_assert(offsetof(ElementHeader, next) == layout.elementNext);
static_assert(offsetof(ElementHeader, imageFlags) == layout.elementImageFlags);
static_assert(offsetof(Icon, iconCount) == layout.iconCount);
static_assert(sizeof(ImportEntry) == layout.importEntrySize);
static_assert(offsetof(ImportEntry, services) == layout.importServices);

} // namespace
