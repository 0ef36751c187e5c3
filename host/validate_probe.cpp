// The counting services tables that the validator hands to modules in place
// of the host's own, and the masks of what a module may change in its records.
#include "validate_internal.h"

#include <cstddef>
#include <utility>

namespace host::validate {

Caller ServiceProbe::caller = Caller::None;
std::set<int32_t> ServiceProbe::variablesRead;

namespace {

ServiceProbe::Counts probeCounts[2];

template <int Table>
void count(int slot)
{
    ++probeCounts[Table].calls[static_cast<int>(ServiceProbe::caller)][slot];
}

template <int Table, int Slot>
void GAUGE_CALL elementService(ElementHeader *root)
{
    count<Table>(Slot);
    if (Host *host = Host::active())
        host->recordElementCall(slotName(Slot), root, false, 0);
}

template <int Table, int Slot>
void GAUGE_CALL elementServiceWithArgument(ElementHeader *root, uint32_t argument)
{
    count<Table>(Slot);
    if (Host *host = Host::active())
        host->recordElementCall(slotName(Slot), root, true, argument);
}

template <int Table>
void GAUGE_CALL sendKeyEvent(uint32_t id, uint32_t parameter)
{
    count<Table>(36);
    if (Host *host = Host::active())
        host->carryOut(id, parameter);
}

template <int Table>
void GAUGE_CALL readVariable(ModuleVar *variable)
{
    count<Table>(40);
    if (!variable)
        return;
    ServiceProbe::variablesRead.insert(variable->id);
    if (Host *host = Host::active())
        host->readVariable(*variable);
}

// A slot the modules must never call; whatever arguments it is given are
// ignored.
template <int Table, int Slot>
void GAUGE_CALL reservedEntry()
{
    count<Table>(Slot);
}

template <int Table, size_t... Slot>
void fillReserved(PanelServices &table, std::index_sequence<Slot...>)
{
    void **slots = reinterpret_cast<void **>(&table);
    ((slots[Slot] = reinterpret_cast<void *>(&reservedEntry<Table, static_cast<int>(Slot)>)), ...);
}

template <int Table>
PanelServices makeTable()
{
    static_assert(sizeof(PanelServices) == ServiceProbe::SlotCount * sizeof(void *));
    PanelServices table{};
    fillReserved<Table>(table, std::make_index_sequence<ServiceProbe::SlotCount>{});
    table.queryElements = elementService<Table, 24>;
    table.installElements = elementServiceWithArgument<Table, 25>;
    table.initializeElements = elementService<Table, 26>;
    table.updateElements = elementService<Table, 27>;
    table.generateElements = elementServiceWithArgument<Table, 28>;
    table.drawElements = elementService<Table, 29>;
    table.killElements = elementService<Table, 31>;
    table.sendKeyEvent = sendKeyEvent<Table>;
    table.readVariable = readVariable<Table>;
    return table;
}

PanelServices probeTables[2] = {makeTable<0>(), makeTable<1>()};

} // namespace

uint64_t ServiceProbe::Counts::total() const
{
    uint64_t sum = 0;
    for (const auto &row : calls)
        for (uint64_t value : row)
            sum += value;
    return sum;
}

PanelServices *ServiceProbe::table(int which)
{
    return &probeTables[which];
}

ServiceProbe::Counts &ServiceProbe::counts(int which)
{
    return probeCounts[which];
}

void ServiceProbe::reset()
{
    probeCounts[0] = {};
    probeCounts[1] = {};
    variablesRead.clear();
}

const char *callerName(Caller caller)
{
    switch (caller) {
    case Caller::None: return "no module code";
    case Caller::ModuleHook: return "module init or deinit";
    case Caller::GaugeCallback: return "the gauge callback";
    case Caller::ValueCallback: return "a value callback";
    case Caller::MouseFunction: return "a mouse function";
    case Caller::Routine: return "a gauge routine";
    default: return "?";
    }
}

const char *slotName(int slot)
{
    switch (slot) {
    case 24: return "queryElements";
    case 25: return "installElements";
    case 26: return "initializeElements";
    case 27: return "updateElements";
    case 28: return "generateElements";
    case 29: return "drawElements";
    case 31: return "killElements";
    case 36: return "sendKeyEvent";
    case 40: return "readVariable";
    default: return "a reserved entry";
    }
}

// ---------------------------------------------------------------- masks

namespace {

void allowModuleVar(RecordSnapshot &snapshot, size_t offset)
{
    // The id is the module's; host words, value and previous value change.
    snapshot.allow(offset + offsetof(ModuleVar, hostWords), sizeof(ModuleVar) - offsetof(ModuleVar, hostWords));
}

} // namespace

void addGaugeRecords(RecordSnapshot &snapshot, const GaugeMap &gauge)
{
    snapshot.add(gauge.header, sizeof *gauge.header, "header");
    for (size_t i = 0; i < gauge.chain.size(); ++i) {
        ElementHeader *element = gauge.chain[i];
        snapshot.add(element, elementSize(element->kind), elementName(i, element));
        // HiddenFlag is bit 30 of the little-endian imageFlags: byte 3, bit 6.
        snapshot.allow(offsetof(ElementHeader, imageFlags) + 3, 1, HiddenFlag >> 24);
        switch (element->kind) {
        case KindNeedle:
            allowModuleVar(snapshot, offsetof(Needle, source));
            break;
        case KindString:
            allowModuleVar(snapshot, offsetof(StringElement, source));
            snapshot.allow(offsetof(StringElement, text), sizeof(char *));
            break;
        case KindSlider:
            allowModuleVar(snapshot, offsetof(Slider, sourceX));
            allowModuleVar(snapshot, offsetof(Slider, sourceY));
            break;
        case KindIcon:
            allowModuleVar(snapshot, offsetof(Icon, source));
            break;
        case KindSprite:
            allowModuleVar(snapshot, offsetof(Sprite, sourceX));
            allowModuleVar(snapshot, offsetof(Sprite, sourceY));
            allowModuleVar(snapshot, offsetof(Sprite, sourceRotation));
            break;
        default:
            break;
        }
        if (element->next)
            snapshot.add(element->next, 2 * sizeof(ElementHeader *), elementName(i, element) + " next list");
    }
    for (const GaugeMap::NamedRecord &record : gauge.otherRecords)
        snapshot.add(record.address, record.size, record.name);
}

} // namespace host::validate
