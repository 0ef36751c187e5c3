// The records of gauge_abi.h as a 32-bit x86 Windows compiler lays them out:
// pointers of four bytes, and every field at the next multiple of its own
// alignment (four for int32, uint32, float32 and pointers, eight for float64,
// as the Windows ABI has it even on 32-bit x86). A record is aligned as its
// most aligned field and its size is rounded up to that.
//
// The offsets are computed here from those rules, field by field in
// declaration order, never written down by hand; tests/emulate confirms them
// against the i686 compiler itself.
#pragma once

#include <cstdint>

namespace host::emu::abi32 {

constexpr uint32_t PointerSize = 4;

// Lays out one record, field after field.
class RecordBuilder {
public:
    // Places a field of that size and alignment; returns its offset.
    constexpr uint32_t add(uint32_t size, uint32_t alignment)
    {
        size_ = roundUp(size_, alignment);
        const uint32_t offset = size_;
        size_ += size;
        if (alignment > alignment_)
            alignment_ = alignment;
        return offset;
    }
    constexpr uint32_t int32() { return add(4, 4); }
    constexpr uint32_t float32() { return add(4, 4); }
    constexpr uint32_t float64() { return add(8, 8); }
    constexpr uint32_t pointer() { return add(PointerSize, PointerSize); }
    constexpr uint32_t size() const { return roundUp(size_, alignment_); }
    constexpr uint32_t alignment() const { return alignment_; }

    static constexpr uint32_t roundUp(uint32_t value, uint32_t alignment)
    {
        return (value + alignment - 1) / alignment * alignment;
    }

private:
    uint32_t size_ = 0;
    uint32_t alignment_ = 1;
};

struct RecordLayout {
    uint32_t size = 0;
    uint32_t alignment = 1;
};

struct PointLayout : RecordLayout {
    uint32_t x, y;
};
constexpr PointLayout makePoint()
{
    RecordBuilder b;
    PointLayout l{};
    l.x = b.int32();
    l.y = b.int32();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr PointLayout Point = makePoint();
inline constexpr PointLayout Size = makePoint(); // width, height

struct BoxLayout : RecordLayout {
    uint32_t x, y, width, height;
};
constexpr BoxLayout makeBox()
{
    RecordBuilder b;
    BoxLayout l{};
    l.x = b.int32();
    l.y = b.int32();
    l.width = b.int32();
    l.height = b.int32();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr BoxLayout Box = makeBox();

struct ModuleVarLayout : RecordLayout {
    uint32_t id, hostWords, value, previousValue;
};
constexpr ModuleVarLayout makeModuleVar()
{
    RecordBuilder b;
    ModuleVarLayout l{};
    l.id = b.int32();
    l.hostWords = b.add(2 * 4, 4);
    l.value = b.add(8, 8); // union of float64, int32 and eight bytes
    l.previousValue = b.float64();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr ModuleVarLayout ModuleVar = makeModuleVar();

struct NonlinearityPointLayout : RecordLayout {
    uint32_t x, y, value, degrees;
};
constexpr NonlinearityPointLayout makeNonlinearityPoint()
{
    RecordBuilder b;
    NonlinearityPointLayout l{};
    l.x = b.int32();
    l.y = b.int32();
    l.value = b.float64();
    l.degrees = b.float64();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr NonlinearityPointLayout NonlinearityPoint = makeNonlinearityPoint();

struct FailureRecordLayout : RecordLayout {
    uint32_t key, action, reserved;
};
constexpr FailureRecordLayout makeFailureRecord()
{
    RecordBuilder b;
    FailureRecordLayout l{};
    l.key = b.int32();
    l.action = b.int32();
    l.reserved = b.int32();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr FailureRecordLayout FailureRecord = makeFailureRecord();

struct MouseRectLayout : RecordLayout {
    uint32_t kind, box, cursor, helpId, mouseFlags, eventId, function, data;
};
constexpr MouseRectLayout makeMouseRect()
{
    RecordBuilder b;
    MouseRectLayout l{};
    l.kind = b.int32();
    l.box = b.add(Box.size, Box.alignment);
    l.cursor = b.int32();
    l.helpId = b.int32();
    l.mouseFlags = b.int32();
    l.eventId = b.int32();
    l.function = b.pointer(); // or tooltipText
    l.data = b.pointer();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr MouseRectLayout MouseRect = makeMouseRect();

inline constexpr PointLayout MousePosition = makePoint();

struct ElementHeaderLayout : RecordLayout {
    uint32_t kind, resourceId, position, offset, gauge, next, failures, imageFlags;
};
constexpr void addElementHeader(RecordBuilder &b, ElementHeaderLayout &l)
{
    l.kind = b.int32();
    l.resourceId = b.int32();
    l.position = b.add(Point.size, Point.alignment);
    l.offset = b.add(Point.size, Point.alignment);
    l.gauge = b.pointer();
    l.next = b.pointer();
    l.failures = b.pointer();
    l.imageFlags = b.int32();
}
constexpr ElementHeaderLayout makeElementHeader()
{
    RecordBuilder b;
    ElementHeaderLayout l{};
    addElementHeader(b, l);
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr ElementHeaderLayout ElementHeader = makeElementHeader();

// Every element kind begins with the element header as its first field.
constexpr uint32_t addHeaderField(RecordBuilder &b)
{
    return b.add(ElementHeader.size, ElementHeader.alignment);
}
constexpr uint32_t addModuleVar(RecordBuilder &b)
{
    return b.add(ModuleVar.size, ModuleVar.alignment);
}

struct NeedleLayout : RecordLayout {
    uint32_t source, nonlinearity, nonlinearityCount, maxRate, callback;
};
constexpr NeedleLayout makeNeedle()
{
    RecordBuilder b;
    NeedleLayout l{};
    addHeaderField(b);
    l.source = addModuleVar(b);
    l.nonlinearity = b.pointer();
    l.nonlinearityCount = b.int32();
    l.maxRate = b.int32();
    l.callback = b.pointer();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr NeedleLayout Needle = makeNeedle();

struct StringElementLayout : RecordLayout {
    uint32_t source, text, boxSize, foreground, background, highlight, fontFace, fontWeight, charSet, textFormat,
        maxLength, callback;
};
constexpr uint32_t FontFaceLength = 32;
constexpr StringElementLayout makeStringElement()
{
    RecordBuilder b;
    StringElementLayout l{};
    addHeaderField(b);
    l.source = addModuleVar(b);
    l.text = b.pointer();
    l.boxSize = b.add(Size.size, Size.alignment);
    l.foreground = b.int32();
    l.background = b.int32();
    l.highlight = b.int32();
    l.fontFace = b.add(FontFaceLength, 1);
    l.fontWeight = b.int32();
    l.charSet = b.int32();
    l.textFormat = b.int32();
    l.maxLength = b.int32();
    l.callback = b.pointer();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr StringElementLayout StringElement = makeStringElement();

struct SliderLayout : RecordLayout {
    uint32_t sourceX, scaleX, sourceY, scaleY, callbackX, callbackY;
};
constexpr SliderLayout makeSlider()
{
    RecordBuilder b;
    SliderLayout l{};
    addHeaderField(b);
    l.sourceX = addModuleVar(b);
    l.scaleX = b.float64();
    l.sourceY = addModuleVar(b);
    l.scaleY = b.float64();
    l.callbackX = b.pointer();
    l.callbackY = b.pointer();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr SliderLayout Slider = makeSlider();

struct IconLayout : RecordLayout {
    uint32_t source, iconMode, iconCount, callback;
};
constexpr IconLayout makeIcon()
{
    RecordBuilder b;
    IconLayout l{};
    addHeaderField(b);
    l.source = addModuleVar(b);
    l.iconMode = b.int32();
    l.iconCount = b.int32();
    l.callback = b.pointer();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr IconLayout Icon = makeIcon();

struct SpriteLayout : RecordLayout {
    uint32_t sourceX, scaleX, sourceY, scaleY, sourceRotation, scaleRotation, textureScaleX, textureScaleY, callbackX,
        callbackY, callbackRotation;
};
constexpr SpriteLayout makeSprite()
{
    RecordBuilder b;
    SpriteLayout l{};
    addHeaderField(b);
    l.sourceX = addModuleVar(b);
    l.scaleX = b.float64();
    l.sourceY = addModuleVar(b);
    l.scaleY = b.float64();
    l.sourceRotation = addModuleVar(b);
    l.scaleRotation = b.float64();
    l.textureScaleX = b.float32();
    l.textureScaleY = b.float32();
    l.callbackX = b.pointer();
    l.callbackY = b.pointer();
    l.callbackRotation = b.pointer();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr SpriteLayout Sprite = makeSprite();

struct GaugeHeaderLayout : RecordLayout {
    uint32_t version, name, elements, queryRoutine, installRoutine, initializeRoutine, updateRoutine,
        generateRoutine, drawRoutine, killRoutine, sizeMm, mouseRects, callback;
};
constexpr GaugeHeaderLayout makeGaugeHeader()
{
    RecordBuilder b;
    GaugeHeaderLayout l{};
    l.version = b.int32();
    l.name = b.pointer();
    l.elements = b.pointer();
    l.queryRoutine = b.pointer();
    l.installRoutine = b.pointer();
    l.initializeRoutine = b.pointer();
    l.updateRoutine = b.pointer();
    l.generateRoutine = b.pointer();
    l.drawRoutine = b.pointer();
    l.killRoutine = b.pointer();
    l.sizeMm = b.int32();
    l.mouseRects = b.pointer();
    l.callback = b.pointer();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr GaugeHeaderLayout GaugeHeader = makeGaugeHeader();

// PanelServices: a table of pointers, entry n at n pointers.
constexpr uint32_t PanelServicesEntries = 41;
constexpr uint32_t panelServicesEntry(uint32_t index)
{
    return index * PointerSize;
}
inline constexpr uint32_t PanelServicesSize = PanelServicesEntries * PointerSize;

struct ModuleLinkageLayout : RecordLayout {
    uint32_t moduleId, moduleInit, moduleDeinit, reserved, moduleVersion, gauges;
};
constexpr uint32_t LinkageGaugeSlots = 16;
constexpr ModuleLinkageLayout makeModuleLinkage()
{
    RecordBuilder b;
    ModuleLinkageLayout l{};
    l.moduleId = b.int32();
    l.moduleInit = b.pointer();
    l.moduleDeinit = b.pointer();
    l.reserved = b.add(2 * 4, 4);
    l.moduleVersion = b.int32();
    l.gauges = b.add(LinkageGaugeSlots * PointerSize, PointerSize);
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr ModuleLinkageLayout ModuleLinkage = makeModuleLinkage();

struct ImportEntryLayout : RecordLayout {
    uint32_t id, services;
};
constexpr ImportEntryLayout makeImportEntry()
{
    RecordBuilder b;
    ImportEntryLayout l{};
    l.id = b.int32();
    l.services = b.pointer();
    l.size = b.size();
    l.alignment = b.alignment();
    return l;
}
inline constexpr ImportEntryLayout ImportEntry = makeImportEntry();
inline constexpr uint32_t ModuleImportsSize = 2 * ImportEntry.size;

// The size of an element record of that kind; the bare header for a kind the
// host does not know.
constexpr uint32_t elementSize(int32_t kind)
{
    switch (kind) {
    case 1: return Needle.size;
    case 2: return StringElement.size;
    case 3: return Slider.size;
    case 4: return Icon.size;
    case 6: return Sprite.size;
    default: return ElementHeader.size;
    }
}

} // namespace host::emu::abi32
