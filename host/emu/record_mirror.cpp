#include "record_mirror.h"

#include "host.h"
#include "layout32.h"
#include "machine.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace host::emu {
namespace {

// Bounds on every walk through the records, so that a list that never ends
// cannot hang the host.
constexpr size_t MaxNextEntries = 64;
constexpr size_t MaxFailureRecords = 1024;
constexpr size_t MaxMouseRecords = 4096;
constexpr int32_t MaxTablePoints = 4096;
constexpr size_t MaxNameLength = 256;
constexpr size_t MaxTooltipLength = 4096;

std::string hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

uint32_t word(const std::vector<unsigned char> &bytes, uint32_t offset)
{
    uint32_t value;
    std::memcpy(&value, &bytes[offset], 4);
    return value;
}

int32_t signedWord(const std::vector<unsigned char> &bytes, uint32_t offset)
{
    return static_cast<int32_t>(word(bytes, offset));
}

// ---------------------------------------------------------------- thunks
//
// A native function pointer cannot carry data, so each callback type has a
// pool of distinct native functions; slot N of a pool forwards to whatever
// emulated function is bound to slot N.

constexpr size_t ThunkSlots = 512;

enum Pool { GaugePool, ValuePool, MousePool, RoutinePool, RoutineArgumentPool, PoolCount };

struct Target {
    EmulatedCalls *calls = nullptr;
    uint32_t function = 0;
};

Target targets[PoolCount][ThunkSlots];
bool slotUsed[PoolCount][ThunkSlots];

Target &target(Pool pool, size_t slot)
{
    Target &bound = targets[pool][slot];
    if (!bound.calls)
        throw HostError("x86 emulator: a callback of a module that is no longer loaded was called");
    return bound;
}

template <size_t N>
void GAUGE_CALL gaugeThunk(GaugeHeader *gauge, int32_t service, uint32_t extra)
{
    Target &t = target(GaugePool, N);
    t.calls->callGauge(t.function, gauge, service, extra);
}
template <size_t N>
double GAUGE_CALL valueThunk(ElementHeader *element)
{
    Target &t = target(ValuePool, N);
    return t.calls->callValue(t.function, element);
}
template <size_t N>
int32_t GAUGE_CALL mouseThunk(MousePosition *position, uint32_t flags)
{
    Target &t = target(MousePool, N);
    return t.calls->callMouse(t.function, position, flags);
}
template <size_t N>
void GAUGE_CALL routineThunk()
{
    Target &t = target(RoutinePool, N);
    t.calls->callRoutine(t.function);
}
template <size_t N>
void GAUGE_CALL routineArgumentThunk(uint32_t argument)
{
    Target &t = target(RoutineArgumentPool, N);
    t.calls->callRoutineWithArgument(t.function, argument);
}

template <size_t... I>
constexpr std::array<GaugeCallback, sizeof...(I)> gaugeThunks(std::index_sequence<I...>)
{
    return {{&gaugeThunk<I>...}};
}
template <size_t... I>
constexpr std::array<ValueCallback, sizeof...(I)> valueThunks(std::index_sequence<I...>)
{
    return {{&valueThunk<I>...}};
}
template <size_t... I>
constexpr std::array<MouseFunction, sizeof...(I)> mouseThunks(std::index_sequence<I...>)
{
    return {{&mouseThunk<I>...}};
}
template <size_t... I>
constexpr std::array<GaugeRoutine, sizeof...(I)> routineThunks(std::index_sequence<I...>)
{
    return {{&routineThunk<I>...}};
}
template <size_t... I>
constexpr std::array<GaugeRoutineWithArgument, sizeof...(I)> routineArgumentThunks(std::index_sequence<I...>)
{
    return {{&routineArgumentThunk<I>...}};
}

constexpr auto GaugeThunks = gaugeThunks(std::make_index_sequence<ThunkSlots>{});
constexpr auto ValueThunks = valueThunks(std::make_index_sequence<ThunkSlots>{});
constexpr auto MouseThunks = mouseThunks(std::make_index_sequence<ThunkSlots>{});
constexpr auto RoutineThunks = routineThunks(std::make_index_sequence<ThunkSlots>{});
constexpr auto RoutineArgumentThunks = routineArgumentThunks(std::make_index_sequence<ThunkSlots>{});

template <typename Function>
struct PoolOf;
template <>
struct PoolOf<GaugeCallback> {
    static constexpr Pool pool = GaugePool;
    static GaugeCallback at(size_t slot) { return GaugeThunks[slot]; }
};
template <>
struct PoolOf<ValueCallback> {
    static constexpr Pool pool = ValuePool;
    static ValueCallback at(size_t slot) { return ValueThunks[slot]; }
};
template <>
struct PoolOf<MouseFunction> {
    static constexpr Pool pool = MousePool;
    static MouseFunction at(size_t slot) { return MouseThunks[slot]; }
};
template <>
struct PoolOf<GaugeRoutine> { // also ModuleHook: the same type
    static constexpr Pool pool = RoutinePool;
    static GaugeRoutine at(size_t slot) { return RoutineThunks[slot]; }
};
template <>
struct PoolOf<GaugeRoutineWithArgument> {
    static constexpr Pool pool = RoutineArgumentPool;
    static GaugeRoutineWithArgument at(size_t slot) { return RoutineArgumentThunks[slot]; }
};

// Typed storage for a native record or array, zeroed.
template <typename T>
T *create(std::shared_ptr<void> &storage, size_t count = 1)
{
    T *records = new T[count]();
    storage = std::shared_ptr<void>(records, [](void *p) { delete[] static_cast<T *>(p); });
    return records;
}

} // namespace

// ---------------------------------------------------------------- mirror

RecordMirror::RecordMirror(Machine &machine, EmulatedCalls &calls, std::string name)
    : machine_(machine), calls_(calls), name_(std::move(name))
{
}

RecordMirror::~RecordMirror()
{
    for (const auto &[pool, slot] : thunks_) {
        targets[pool][slot] = {};
        slotUsed[pool][slot] = false;
    }
}

void RecordMirror::fault(const std::string &message) const
{
    throw HostError("module " + name_ + ": " + message);
}

template <typename Function>
Function RecordMirror::thunk(uint32_t address)
{
    if (address == 0)
        return nullptr;
    const Pool pool = PoolOf<Function>::pool;
    for (const auto &[usedPool, slot] : thunks_)
        if (usedPool == pool && targets[pool][slot].function == address)
            return PoolOf<Function>::at(slot);
    for (size_t slot = 0; slot < ThunkSlots; ++slot)
        if (!slotUsed[pool][slot]) {
            slotUsed[pool][slot] = true;
            targets[pool][slot] = {&calls_, address};
            thunks_.emplace_back(pool, slot);
            return PoolOf<Function>::at(slot);
        }
    fault("holds more callbacks of one type than the host can bind (" + std::to_string(ThunkSlots) + ")");
}

RecordMirror::Block &RecordMirror::add(Kind kind, uint32_t address, uint32_t size, size_t nativeSize)
{
    auto block = std::make_unique<Block>();
    block->kind = kind;
    block->address = address;
    block->size = size;
    block->nativeSize = nativeSize;
    Block &added = *block;
    blocks_.push_back(std::move(block));
    byAddress_[{static_cast<int>(kind), address}] = &added;
    return added;
}

RecordMirror::Block *RecordMirror::find(Kind kind, uint32_t address) const
{
    const auto found = byAddress_.find({static_cast<int>(kind), address});
    return found == byAddress_.end() ? nullptr : found->second;
}

std::vector<unsigned char> RecordMirror::readRecord(uint32_t address, uint32_t size, const std::string &what) const
{
    if (!machine_.mapped(address, size, PermissionRead))
        fault(what + " at " + hex(address) + " lies outside the module's memory");
    return machine_.readBytes(address, size);
}

namespace {

// Copies a field into the native record and notes it for synchronising.
template <typename Block, typename Field>
void copyField(Block &block, const std::vector<unsigned char> &bytes, uint32_t emulated, size_t native, uint32_t size)
{
    std::memcpy(static_cast<unsigned char *>(block.storage.get()) + native, &bytes[emulated], size);
    block.fields.push_back(Field{emulated, static_cast<uint32_t>(native), size});
}

} // namespace

#define MIRROR_FIELD(emulated, native, size) \
    copyField<Block, Field>(block, bytes, (emulated), (native), (size))

ModuleVar &RecordMirror::fillModuleVar(Block &block, uint32_t emulatedOffset, size_t nativeOffset)
{
    // ModuleVar has no pointers, and the same layout in both.
    static_assert(abi32::ModuleVar.size == sizeof(ModuleVar) && abi32::ModuleVar.value == offsetof(ModuleVar, value));
    const std::vector<unsigned char> &bytes = block.image;
    MIRROR_FIELD(emulatedOffset, nativeOffset, abi32::ModuleVar.size);
    moduleVars_[block.address + emulatedOffset] = {&block, nativeOffset};
    return *reinterpret_cast<ModuleVar *>(static_cast<unsigned char *>(block.storage.get()) + nativeOffset);
}

const char *RecordMirror::text(uint32_t address, const std::string &what, size_t maxLength)
{
    if (address == 0)
        return nullptr;
    if (Block *known = find(Kind::Text, address))
        return static_cast<const char *>(known->storage.get());
    const auto found = machine_.readText(address, maxLength);
    if (!found)
        fault(what + " at " + hex(address) + " is not a NUL-terminated text of at most " + std::to_string(maxLength) +
              " characters inside the module's memory");
    const uint32_t size = static_cast<uint32_t>(found->size() + 1);
    Block &block = add(Kind::Text, address, size, size);
    char *native = create<char>(block.storage, size);
    block.image = readRecord(address, size, what);
    std::memcpy(native, found->c_str(), size);
    block.fields.push_back({0, 0, size});
    byNative_[reinterpret_cast<uintptr_t>(native)] = &block;
    return native;
}

ModuleLinkage *RecordMirror::readLinkage(uint32_t address)
{
    namespace L = abi32;
    Block &block = add(Kind::Linkage, address, L::ModuleLinkage.size, sizeof(ModuleLinkage));
    auto *linkage = create<ModuleLinkage>(block.storage);
    byNative_[reinterpret_cast<uintptr_t>(linkage)] = &block;
    const auto bytes = block.image = readRecord(address, L::ModuleLinkage.size, "Linkage");
    MIRROR_FIELD(L::ModuleLinkage.moduleId, offsetof(ModuleLinkage, moduleId), 4);
    MIRROR_FIELD(L::ModuleLinkage.reserved, offsetof(ModuleLinkage, reserved), 8);
    MIRROR_FIELD(L::ModuleLinkage.moduleVersion, offsetof(ModuleLinkage, moduleVersion), 4);
    linkage->moduleInit = thunk<ModuleHook>(word(bytes, L::ModuleLinkage.moduleInit));
    linkage->moduleDeinit = thunk<ModuleHook>(word(bytes, L::ModuleLinkage.moduleDeinit));
    block.pointerFields = {L::ModuleLinkage.moduleInit, L::ModuleLinkage.moduleDeinit};
    // The gauge list as the host reads it: up to its null entry.
    bool ended = false;
    for (uint32_t i = 0; i < L::LinkageGaugeSlots; ++i) {
        const uint32_t at = L::ModuleLinkage.gauges + 4 * i;
        block.pointerFields.push_back(at);
        const uint32_t header = word(bytes, at);
        ended = ended || header == 0;
        if (!ended)
            linkage->gauges[i] = gauge(header);
    }
    return linkage;
}

ModuleImports *RecordMirror::readImports(uint32_t address, PanelServices *services)
{
    namespace L = abi32;
    Block &block = add(Kind::Imports, address, L::ModuleImportsSize, sizeof(ModuleImports));
    auto *imports = create<ModuleImports>(block.storage);
    byNative_[reinterpret_cast<uintptr_t>(imports)] = &block;
    const auto bytes = block.image = readRecord(address, L::ModuleImportsSize, "ImportTable");
    MIRROR_FIELD(0, offsetof(ModuleImports, entries[0].id), 4);
    MIRROR_FIELD(L::ImportEntry.size, offsetof(ModuleImports, entries[1].id), 4);
    imports->entries[0].services = services;
    return imports;
}

GaugeHeader *RecordMirror::gauge(uint32_t address)
{
    namespace L = abi32;
    if (address == 0)
        return nullptr;
    if (Block *known = find(Kind::Gauge, address))
        return static_cast<GaugeHeader *>(known->storage.get());
    Block &block = add(Kind::Gauge, address, L::GaugeHeader.size, sizeof(GaugeHeader));
    auto *header = create<GaugeHeader>(block.storage);
    byNative_[reinterpret_cast<uintptr_t>(header)] = &block;
    const auto bytes = block.image = readRecord(address, L::GaugeHeader.size, "a GaugeHeader");
    const auto &G = L::GaugeHeader;
    MIRROR_FIELD(G.version, offsetof(GaugeHeader, version), 4);
    MIRROR_FIELD(G.sizeMm, offsetof(GaugeHeader, sizeMm), 4);
    block.pointerFields = {G.name,          G.elements,        G.queryRoutine, G.installRoutine, G.initializeRoutine,
                           G.updateRoutine, G.generateRoutine, G.drawRoutine,  G.killRoutine,    G.mouseRects,
                           G.callback};
    header->name = text(word(bytes, G.name), "the name of the GaugeHeader at " + hex(address), MaxNameLength);
    header->queryRoutine = thunk<GaugeRoutine>(word(bytes, G.queryRoutine));
    header->installRoutine = thunk<GaugeRoutineWithArgument>(word(bytes, G.installRoutine));
    header->initializeRoutine = thunk<GaugeRoutine>(word(bytes, G.initializeRoutine));
    header->updateRoutine = thunk<GaugeRoutine>(word(bytes, G.updateRoutine));
    header->generateRoutine = thunk<GaugeRoutineWithArgument>(word(bytes, G.generateRoutine));
    header->drawRoutine = thunk<GaugeRoutine>(word(bytes, G.drawRoutine));
    header->killRoutine = thunk<GaugeRoutine>(word(bytes, G.killRoutine));
    header->callback = thunk<GaugeCallback>(word(bytes, G.callback));
    header->mouseRects = mouseList(word(bytes, G.mouseRects));
    // The host reads entry 0 of the element list, the root; a list may hold
    // nothing else (vantrel's has no null entry after it).
    header->elements = elementList(word(bytes, G.elements), true, "the element list of " + hex(address));
    return header;
}

ElementHeader **RecordMirror::elementList(uint32_t address, bool rootOnly, const std::string &what)
{
    if (address == 0)
        return nullptr;
    const Kind kind = rootOnly ? Kind::RootList : Kind::ElementList;
    if (Block *known = find(kind, address))
        return static_cast<ElementHeader **>(known->storage.get());
    std::vector<uint32_t> entries;
    bool ended = false;
    for (size_t i = 0; i < (rootOnly ? 1 : MaxNextEntries); ++i) {
        const uint32_t entry = word(readRecord(address + 4 * static_cast<uint32_t>(i), 4, what), 0);
        if (entry == 0) {
            ended = true;
            break;
        }
        entries.push_back(entry);
    }
    if (!rootOnly && !ended)
        fault(what + " at " + hex(address) + " has no null entry among its first " + std::to_string(MaxNextEntries));
    // The words read: the entries, and a next list's null entry.
    const uint32_t size = static_cast<uint32_t>(4 * (entries.size() + (ended ? 1 : 0)));
    Block &block = add(kind, address, size, sizeof(ElementHeader *) * (entries.size() + 1));
    auto *list = create<ElementHeader *>(block.storage, entries.size() + 1);
    byNative_[reinterpret_cast<uintptr_t>(list)] = &block;
    block.image = readRecord(address, size, what);
    for (uint32_t i = 0; i < size / 4; ++i)
        block.pointerFields.push_back(4 * i);
    for (size_t i = 0; i < entries.size(); ++i)
        list[i] = element(entries[i]);
    return list;
}

ElementHeader *RecordMirror::element(uint32_t address)
{
    namespace L = abi32;
    if (address == 0)
        return nullptr;
    if (Block *known = find(Kind::Element, address))
        return static_cast<ElementHeader *>(known->storage.get());
    const int32_t kind = signedWord(readRecord(address, L::ElementHeader.size, "an element"), 0);
    const uint32_t size = L::elementSize(kind);
    // The host writes fields of its own into every element (and a needle's
    // or string's variable), so an element must lie in writable memory.
    if (!machine_.mapped(address, size, PermissionWrite))
        fault("the element at " + hex(address) + " lies in read-only memory, where the host writes its fields");
    Block &block = add(Kind::Element, address, size, 0);
    block.image = readRecord(address, size, "an element of kind " + std::to_string(kind));
    const std::vector<unsigned char> bytes = block.image;
    ElementHeader *header = nullptr;
    switch (kind) {
    case KindNeedle: header = &create<Needle>(block.storage)->header; block.nativeSize = sizeof(Needle); break;
    case KindString: header = &create<StringElement>(block.storage)->header; block.nativeSize = sizeof(StringElement); break;
    case KindSlider: header = &create<Slider>(block.storage)->header; block.nativeSize = sizeof(Slider); break;
    case KindIcon: header = &create<Icon>(block.storage)->header; block.nativeSize = sizeof(Icon); break;
    case KindSprite: header = &create<Sprite>(block.storage)->header; block.nativeSize = sizeof(Sprite); break;
    default: header = create<ElementHeader>(block.storage); block.nativeSize = sizeof(ElementHeader); break;
    }
    byNative_[reinterpret_cast<uintptr_t>(header)] = &block;

    const auto &E = L::ElementHeader;
    MIRROR_FIELD(E.kind, offsetof(ElementHeader, kind), 4);
    MIRROR_FIELD(E.resourceId, offsetof(ElementHeader, resourceId), 4);
    MIRROR_FIELD(E.position, offsetof(ElementHeader, position), 8);
    MIRROR_FIELD(E.offset, offsetof(ElementHeader, offset), 8);
    MIRROR_FIELD(E.imageFlags, offsetof(ElementHeader, imageFlags), 4);
    block.pointerFields = {E.gauge, E.next, E.failures};

    switch (kind) {
    case KindNeedle: {
        auto *needle = reinterpret_cast<Needle *>(header);
        const auto &N = L::Needle;
        fillModuleVar(block, N.source, offsetof(Needle, source));
        MIRROR_FIELD(N.nonlinearityCount, offsetof(Needle, nonlinearityCount), 4);
        MIRROR_FIELD(N.maxRate, offsetof(Needle, maxRate), 4);
        block.pointerFields.insert(block.pointerFields.end(), {N.nonlinearity, N.callback});
        needle->callback = thunk<ValueCallback>(word(bytes, N.callback));
        needle->nonlinearity = table(word(bytes, N.nonlinearity), signedWord(bytes, N.nonlinearityCount));
        break;
    }
    case KindString: {
        auto *string = reinterpret_cast<StringElement *>(header);
        const auto &S = L::StringElement;
        fillModuleVar(block, S.source, offsetof(StringElement, source));
        MIRROR_FIELD(S.boxSize, offsetof(StringElement, boxSize), 8);
        MIRROR_FIELD(S.foreground, offsetof(StringElement, foreground), 4);
        MIRROR_FIELD(S.background, offsetof(StringElement, background), 4);
        MIRROR_FIELD(S.highlight, offsetof(StringElement, highlight), 4);
        MIRROR_FIELD(S.fontFace, offsetof(StringElement, fontFace), L::FontFaceLength);
        MIRROR_FIELD(S.fontWeight, offsetof(StringElement, fontWeight), 4);
        MIRROR_FIELD(S.charSet, offsetof(StringElement, charSet), 4);
        MIRROR_FIELD(S.textFormat, offsetof(StringElement, textFormat), 4);
        MIRROR_FIELD(S.maxLength, offsetof(StringElement, maxLength), 4);
        block.pointerFields.push_back(S.callback);
        string->callback = thunk<ValueCallback>(word(bytes, S.callback));
        // The text buffer is the host's: it supplies one before evaluating.
        block.hasText = true;
        break;
    }
    case KindSlider: {
        auto *slider = reinterpret_cast<Slider *>(header);
        const auto &S = L::Slider;
        fillModuleVar(block, S.sourceX, offsetof(Slider, sourceX));
        MIRROR_FIELD(S.scaleX, offsetof(Slider, scaleX), 8);
        fillModuleVar(block, S.sourceY, offsetof(Slider, sourceY));
        MIRROR_FIELD(S.scaleY, offsetof(Slider, scaleY), 8);
        block.pointerFields.insert(block.pointerFields.end(), {S.callbackX, S.callbackY});
        slider->callbackX = thunk<ValueCallback>(word(bytes, S.callbackX));
        slider->callbackY = thunk<ValueCallback>(word(bytes, S.callbackY));
        break;
    }
    case KindIcon: {
        auto *icon = reinterpret_cast<Icon *>(header);
        const auto &I = L::Icon;
        fillModuleVar(block, I.source, offsetof(Icon, source));
        MIRROR_FIELD(I.iconMode, offsetof(Icon, iconMode), 4);
        MIRROR_FIELD(I.iconCount, offsetof(Icon, iconCount), 4);
        block.pointerFields.push_back(I.callback);
        icon->callback = thunk<ValueCallback>(word(bytes, I.callback));
        break;
    }
    case KindSprite: {
        auto *sprite = reinterpret_cast<Sprite *>(header);
        const auto &S = L::Sprite;
        fillModuleVar(block, S.sourceX, offsetof(Sprite, sourceX));
        MIRROR_FIELD(S.scaleX, offsetof(Sprite, scaleX), 8);
        fillModuleVar(block, S.sourceY, offsetof(Sprite, sourceY));
        MIRROR_FIELD(S.scaleY, offsetof(Sprite, scaleY), 8);
        fillModuleVar(block, S.sourceRotation, offsetof(Sprite, sourceRotation));
        MIRROR_FIELD(S.scaleRotation, offsetof(Sprite, scaleRotation), 8);
        MIRROR_FIELD(S.textureScaleX, offsetof(Sprite, textureScaleX), 4);
        MIRROR_FIELD(S.textureScaleY, offsetof(Sprite, textureScaleY), 4);
        block.pointerFields.insert(block.pointerFields.end(), {S.callbackX, S.callbackY, S.callbackRotation});
        sprite->callbackX = thunk<ValueCallback>(word(bytes, S.callbackX));
        sprite->callbackY = thunk<ValueCallback>(word(bytes, S.callbackY));
        sprite->callbackRotation = thunk<ValueCallback>(word(bytes, S.callbackRotation));
        break;
    }
    default:
        break;
    }
    // Records the element points at, read after the element itself is known
    // so that a chain leading back to it ends.
    header->failures = failureList(word(bytes, E.failures));
    header->gauge = gauge(word(bytes, E.gauge));
    header->next = elementList(word(bytes, E.next), false, "the next list of the element at " + hex(address));
    return header;
}

FailureRecord *RecordMirror::failureList(uint32_t address)
{
    namespace L = abi32;
    if (address == 0)
        return nullptr;
    if (Block *known = find(Kind::FailureList, address))
        return static_cast<FailureRecord *>(known->storage.get());
    static_assert(L::FailureRecord.size == sizeof(FailureRecord));
    size_t count = 0;
    while (true) {
        const auto record = readRecord(address + L::FailureRecord.size * static_cast<uint32_t>(count),
                                       L::FailureRecord.size, "a failure list");
        ++count;
        if (signedWord(record, L::FailureRecord.key) == 0)
            break;
        if (count >= MaxFailureRecords)
            fault("the failure list at " + hex(address) + " has no end record among its first " +
                  std::to_string(MaxFailureRecords));
    }
    const uint32_t size = static_cast<uint32_t>(count * L::FailureRecord.size);
    Block &block = add(Kind::FailureList, address, size, size);
    auto *list = create<FailureRecord>(block.storage, count);
    byNative_[reinterpret_cast<uintptr_t>(list)] = &block;
    const auto bytes = block.image = readRecord(address, size, "a failure list");
    MIRROR_FIELD(0, 0, size);
    return list;
}

NonlinearityPoint *RecordMirror::table(uint32_t address, int32_t count)
{
    namespace L = abi32;
    if (address == 0)
        return nullptr;
    if (Block *known = find(Kind::Table, address))
        return static_cast<NonlinearityPoint *>(known->storage.get());
    static_assert(L::NonlinearityPoint.size == sizeof(NonlinearityPoint) &&
                  L::NonlinearityPoint.degrees == offsetof(NonlinearityPoint, degrees));
    // The points the needle declares, bounded; storage for at least one so
    // that a table of none is still a table.
    const int32_t points = count < 0 ? 0 : count > MaxTablePoints ? MaxTablePoints : count;
    const uint32_t size = static_cast<uint32_t>(points) * L::NonlinearityPoint.size;
    if (!machine_.mapped(address, size, PermissionWrite))
        fault("the needle table at " + hex(address) + " lies in read-only memory, where the host writes its fields");
    Block &block = add(Kind::Table, address, size, size);
    auto *list = create<NonlinearityPoint>(block.storage, points > 0 ? static_cast<size_t>(points) : 1);
    byNative_[reinterpret_cast<uintptr_t>(list)] = &block;
    if (size) {
        const auto bytes = block.image = readRecord(address, size, "a needle table of " + std::to_string(points) + " points");
        MIRROR_FIELD(0, 0, size);
    }
    return list;
}

const void *RecordMirror::words(uint32_t address)
{
    if (address == 0)
        return nullptr;
    if (Block *known = find(Kind::Words, address))
        return known->storage.get();
    Block &block = add(Kind::Words, address, 8, 8);
    auto *data = create<uint32_t>(block.storage, 2);
    byNative_[reinterpret_cast<uintptr_t>(data)] = &block;
    const auto bytes = block.image = readRecord(address, 8, "a mouse record's data");
    MIRROR_FIELD(0, 0, 8);
    return data;
}

MouseRect *RecordMirror::mouseList(uint32_t address)
{
    namespace L = abi32;
    if (address == 0)
        return nullptr;
    if (Block *known = find(Kind::MouseList, address))
        return static_cast<MouseRect *>(known->storage.get());
    const auto &M = L::MouseRect;
    size_t count = 0;
    while (true) {
        const auto record = readRecord(address + M.size * static_cast<uint32_t>(count), M.size, "a mouse list");
        ++count;
        if (signedWord(record, M.kind) == MouseEnd)
            break;
        if (count >= MaxMouseRecords)
            fault("the mouse list at " + hex(address) + " has no end record among its first " +
                  std::to_string(MaxMouseRecords));
    }
    const uint32_t size = static_cast<uint32_t>(count * M.size);
    Block &block = add(Kind::MouseList, address, size, sizeof(MouseRect) * count);
    auto *list = create<MouseRect>(block.storage, count);
    byNative_[reinterpret_cast<uintptr_t>(list)] = &block;
    const auto bytes = block.image = readRecord(address, size, "a mouse list");
    for (size_t i = 0; i < count; ++i) {
        const uint32_t at = static_cast<uint32_t>(i * M.size);
        const size_t native = i * sizeof(MouseRect);
        MIRROR_FIELD(at + M.kind, native + offsetof(MouseRect, kind), 4);
        MIRROR_FIELD(at + M.box, native + offsetof(MouseRect, box), 16);
        MIRROR_FIELD(at + M.cursor, native + offsetof(MouseRect, cursor), 4);
        MIRROR_FIELD(at + M.helpId, native + offsetof(MouseRect, helpId), 4);
        MIRROR_FIELD(at + M.mouseFlags, native + offsetof(MouseRect, mouseFlags), 4);
        MIRROR_FIELD(at + M.eventId, native + offsetof(MouseRect, eventId), 4);
        block.pointerFields.insert(block.pointerFields.end(), {at + M.function, at + M.data});
    }
    for (size_t i = 0; i < count; ++i) {
        const uint32_t at = static_cast<uint32_t>(i * M.size);
        const uint32_t pointer = word(bytes, at + M.function);
        // On a tooltip record the function slot holds the tooltip's text.
        if (signedWord(bytes, at + M.kind) == MouseTooltipText)
            list[i].tooltipText = text(pointer, "the tooltip text of the mouse list at " + hex(address), MaxTooltipLength);
        else
            list[i].function = thunk<MouseFunction>(pointer);
        list[i].data = words(word(bytes, at + M.data));
    }
    return list;
}

#undef MIRROR_FIELD

// ---------------------------------------------------------------- addresses

uint32_t RecordMirror::emulatedAddress(const void *record) const
{
    if (!record)
        return 0;
    const uintptr_t at = reinterpret_cast<uintptr_t>(record);
    auto found = byNative_.upper_bound(at);
    if (found != byNative_.begin()) {
        --found;
        const Block &block = *found->second;
        const size_t offset = at - found->first;
        if (offset < block.nativeSize) {
            if (offset == 0)
                return block.address;
            for (const Field &field : block.fields)
                if (field.native == offset)
                    return block.address + field.emulated;
        }
    }
    throw HostError("module " + name_ + ": the host passed a record the x86 emulator did not read from the module");
}

std::optional<std::pair<uint32_t, uint32_t>> RecordMirror::emulatedRange(const void *address, size_t size) const
{
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    auto found = byNative_.upper_bound(at);
    if (!address || found == byNative_.begin())
        return std::nullopt;
    --found;
    const Block &block = *found->second;
    if (at - found->first + size > block.nativeSize || size > block.nativeSize)
        return std::nullopt;
    return std::pair{block.address, block.size};
}

uint32_t RecordMirror::emulatedFunction(const void *function) const
{
    for (const auto &[pool, slot] : thunks_) {
        const void *thunk = nullptr;
        switch (pool) {
        case GaugePool: thunk = reinterpret_cast<const void *>(GaugeThunks[slot]); break;
        case ValuePool: thunk = reinterpret_cast<const void *>(ValueThunks[slot]); break;
        case MousePool: thunk = reinterpret_cast<const void *>(MouseThunks[slot]); break;
        case RoutinePool: thunk = reinterpret_cast<const void *>(RoutineThunks[slot]); break;
        case RoutineArgumentPool: thunk = reinterpret_cast<const void *>(RoutineArgumentThunks[slot]); break;
        default: break;
        }
        if (thunk == function)
            return targets[pool][slot].function;
    }
    return 0;
}

ModuleVar *RecordMirror::moduleVar(uint32_t address)
{
    const auto found = moduleVars_.find(address);
    if (found == moduleVars_.end())
        return nullptr;
    return reinterpret_cast<ModuleVar *>(static_cast<unsigned char *>(found->second.first->storage.get()) +
                                         found->second.second);
}

std::vector<uint32_t> RecordMirror::textBuffers() const
{
    std::vector<uint32_t> buffers;
    for (const auto &block : blocks_)
        if (block->textBuffer)
            buffers.push_back(block->textBuffer);
    return buffers;
}

// ---------------------------------------------------------------- synchronising

void RecordMirror::pushTo(const std::function<uint32_t(uint32_t)> &allocate)
{
    for (const auto &owned : blocks_) {
        Block &block = *owned;
        const auto *native = static_cast<const unsigned char *>(block.storage.get());
        for (const Field &field : block.fields) {
            if (std::memcmp(native + field.native, &block.image[field.emulated], field.size) == 0)
                continue;
            const uint32_t target = block.address + field.emulated;
            if (!machine_.mapped(target, field.size, PermissionWrite))
                fault("the host writes into the record at " + hex(block.address) +
                      ", which the module keeps in read-only memory");
            machine_.write(target, native + field.native, field.size);
            std::memcpy(&block.image[field.emulated], native + field.native, field.size);
        }
        if (!block.hasText)
            continue;
        auto *string = static_cast<StringElement *>(block.storage.get());
        if (string->text == block.nativeText)
            continue;
        // The host handed a new buffer: its twin in emulated memory gets the
        // buffer's bytes, guard bytes included, and the record its address.
        block.nativeText = string->text;
        uint32_t pointer = 0;
        if (string->text) {
            const uint32_t size = static_cast<uint32_t>(std::max(string->maxLength, 0)) + 1 + StringGuardBytes;
            if (!block.textBuffer || block.textSize != size) {
                block.textBuffer = allocate(size);
                block.textSize = size;
            }
            block.textImage.assign(string->text, string->text + size);
            machine_.write(block.textBuffer, block.textImage.data(), size);
            pointer = block.textBuffer;
        }
        const uint32_t slot = block.address + abi32::StringElement.text;
        if (!machine_.mapped(slot, 4, PermissionWrite))
            fault("the host supplies a text buffer to the element at " + hex(block.address) +
                  ", which the module keeps in read-only memory");
        machine_.write32(slot, pointer);
        std::memcpy(&block.image[abi32::StringElement.text], &pointer, 4);
    }
}

void RecordMirror::pullFrom()
{
    for (const auto &owned : blocks_) {
        Block &block = *owned;
        if (block.size == 0)
            continue;
        const std::vector<unsigned char> bytes = machine_.readBytes(block.address, block.size);
        if (bytes == block.image && !(block.hasText && block.nativeText))
            continue;
        for (uint32_t offset : block.pointerFields)
            if (std::memcmp(&bytes[offset], &block.image[offset], 4) != 0)
                fault("the program changed a pointer at offset " + std::to_string(offset) + " of the record at " +
                      hex(block.address) + "; records point at one another as built");
        if (block.hasText && std::memcmp(&bytes[abi32::StringElement.text], &block.image[abi32::StringElement.text], 4))
            fault("the program changed the text pointer of the element at " + hex(block.address) +
                  "; the text buffer is the host's");
        auto *native = static_cast<unsigned char *>(block.storage.get());
        for (const Field &field : block.fields)
            std::memcpy(native + field.native, &bytes[field.emulated], field.size);
        block.image = bytes;
        if (block.hasText && block.nativeText && block.textBuffer) {
            // Copied back only when the program wrote into it, so that a
            // buffer the host has since let go of is never touched.
            auto written = machine_.readBytes(block.textBuffer, block.textSize);
            if (written != block.textImage) {
                std::memcpy(block.nativeText, written.data(), written.size());
                block.textImage = std::move(written);
            }
        }
    }
}

} // namespace host::emu
