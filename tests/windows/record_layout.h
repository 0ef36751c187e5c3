// Where the fields that the module-file checks read lie in the records of
// gauge_abi.h, for a given pointer size, as the Windows compilers lay them
// out (every field at a multiple of its own size, float64 at a multiple of
// eight on 32-bit x86 too). record_layout_check.cpp holds every compiler the
// project uses to these numbers.
#pragma once

#include <cstdint>

namespace pe {

constexpr uint32_t alignUp(uint32_t value, uint32_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

struct RecordLayout {
    uint32_t pointer;
    // ModuleLinkage
    uint32_t linkageInit, linkageDeinit, linkageVersion, linkageGauges;
    // GaugeHeader
    uint32_t gaugeName, gaugeElements, gaugeFirstRoutine, gaugeSizeMm, gaugeMouseRects, gaugeCallback;
    // ElementHeader and Icon
    uint32_t elementPosition, elementOffset, elementNext, elementImageFlags, iconCount;
    // ModuleImports
    uint32_t importEntrySize, importServices;
};

constexpr RecordLayout recordLayout(uint32_t p)
{
    RecordLayout l{};
    l.pointer = p;
    l.linkageInit = p;
    l.linkageDeinit = 2 * p;
    l.linkageVersion = 3 * p + 8;
    l.linkageGauges = alignUp(l.linkageVersion + 4, p);
    l.gaugeName = p;
    l.gaugeElements = 2 * p;
    l.gaugeFirstRoutine = 3 * p; // seven routines follow one another
    l.gaugeSizeMm = 10 * p;
    l.gaugeMouseRects = alignUp(l.gaugeSizeMm + 4, p);
    l.gaugeCallback = l.gaugeMouseRects + p;
    l.elementPosition = 8;
    l.elementOffset = 16;
    l.elementNext = 24 + p;
    l.elementImageFlags = 24 + 3 * p;
    const uint32_t elementSize = alignUp(l.elementImageFlags + 4, p);
    const uint32_t iconSource = alignUp(elementSize, 8); // ModuleVar holds a float64
    l.iconCount = iconSource + 32 + 4;                   // after the source and iconMode
    l.importEntrySize = 2 * p;
    l.importServices = p;
    return l;
}

} // namespace pe
