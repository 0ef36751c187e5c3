// libFuzzer target: the input is a script of host actions played against
// all nine gauges of the three modules at once (two instances of each): set
// a host variable, call a service, evaluate, click, call a routine. After
// every action the same invariants as `gaugehost validate` hold, or the run
// stops here for libFuzzer to report:
//  - no record byte changes except HiddenFlag bits, ModuleVar values and the
//    host's text pointers;
//  - no string is written past maxLength + 1 bytes, and every string ends;
//  - a shown icon's picture is within its picture range;
//  - callbacks call only the services entries their role may use.
// The modules stay loaded for the whole run (their coverage counters live in
// them); each input gets a fresh host with fresh variables and instances,
// and ends with a take-down of every instance so that library references
// stay balanced. Module-level state (the trim wheel's counter, vantrel's
// flaps value) carries over between inputs, as it does between panels.
#include "validate_internal.h"

#include "platform.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace host;
using namespace host::validate;

namespace {

struct FuzzModule {
    std::unique_ptr<Module> module;
    ModuleMap map;
};

// Loaded once and kept for the whole run. Each module was handed the
// validator's counting services table, which reaches whichever host is
// active and counts calls by caller.
std::vector<FuzzModule> *modules;
RecordSnapshot *snapshot;

// The host variables the gauges read, and some they do not.
constexpr int32_t VariableIds[] = {0x41, 0x3d, 0x186, 0x4a, 0x4c, 0x30f, 0x54, 0x357, 0x356, 0x351, 0x352, 0x353,
                                   0x354, 0x2b, 0x6b, 0x2d, 0x133, 0x84, 0x80, 0xa3, 0x145, 0x143, 0x0a, 0x16c,
                                   0x7fff, 0};

constexpr double EdgeValues[] = {
    std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(), 0.0, -0.0, std::numeric_limits<double>::denorm_min(),
    -std::numeric_limits<double>::denorm_min(), 1e308, -1e308, 2147483647.0, -2147483648.0, 2147483648.0,
    -2147483649.0, 9.2233720368547758e18, 1.0, -1.0, 2.0, 3.0, 4.0, 5.0, 0.5, 25000.0, 25000.5, 16384.0, 29.92,
    99.999, 100.0, 0.06, 0.07, 0.128, 1229.0, 8602.0,
};

// Reads the input a byte or a word at a time; past its end, zeros.
class Input {
public:
    Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    template <typename T>
    T word()
    {
        T value{};
        unsigned char bytes[sizeof(T)] = {};
        for (unsigned char &b : bytes)
            b = byte();
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

[[noreturn]] void invariantBroken(const std::string &what)
{
    std::fprintf(stderr, "gauge_fuzz: invariant broken: %s\n", what.c_str());
    std::abort();
}

uint64_t disallowed()
{
    // Routines may use the element services, mouse functions sendKeyEvent
    // and readVariable, everything else readVariable only.
    const ServiceProbe::Counts &counts = ServiceProbe::counts(0);
    uint64_t sum = 0;
    for (int caller = 0; caller < static_cast<int>(Caller::Count); ++caller)
        for (int slot = 0; slot < ServiceProbe::SlotCount; ++slot) {
            const Caller who = static_cast<Caller>(caller);
            const bool ok = who == Caller::Routine         ? (slot >= 24 && slot <= 29) || slot == 31
                            : who == Caller::MouseFunction ? slot == 36 || slot == 40
                            : who == Caller::GaugeCallback || who == Caller::ValueCallback ? slot == 40
                                                                                           : false;
            if (!ok)
                sum += counts.calls[caller][slot];
        }
    return sum;
}

void checkRecords()
{
    const auto changed = snapshot->changes();
    if (!changed.empty())
        invariantBroken(changed.front());
    if (disallowed())
        invariantBroken("a callback called a services entry its role may not use");
}

void checkEvaluation(GaugeInstance &gauge, const std::vector<bool> &shown)
{
    if (gauge.guardOverwritten())
        invariantBroken(gauge.name() + ": a string was written past maxLength + 1 bytes");
    for (size_t i = 0; i < gauge.elements().size(); ++i) {
        if (!shown[i])
            continue;
        const ElementState &state = gauge.elements()[i];
        const ElementHeader *element = state.element;
        if (element->kind == KindString) {
            const std::vector<char> &buffer = *gauge.textBuffer(i);
            const size_t capacity = buffer.size() - StringGuardBytes;
            if (strnlen(buffer.data(), capacity) == capacity)
                invariantBroken(gauge.name() + " " + elementName(i, element) + ": text does not end");
        } else if (element->kind == KindIcon && !(element->imageFlags & HiddenFlag)) {
            const int32_t count = reinterpret_cast<const Icon *>(element)->iconCount;
            if (!(std::isfinite(state.value) && state.value > -1.0 && state.value < count))
                invariantBroken(gauge.name() + " " + elementName(i, element) + ": picture " +
                                std::to_string(state.value) + " out of range");
        }
    }
}

std::string moduleFolder()
{
    if (const char *folder = std::getenv("GAUGE_FUZZ_MODULES"))
        return folder;
    return GAUGE_BIN_DIR;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The sound library carries coverage counters too, and libFuzzer keeps
    // reading them: hold it loaded for the whole run, however often vantrel
    // loads and releases it.
    platform::loadLibraryFile((moduleFolder() + "/GaugeSound.so").c_str());
    modules = new std::vector<FuzzModule>;
    snapshot = new RecordSnapshot;
    for (const char *file : {"korvo0.gau", "Korvo6.gau", "vantrel.gau"}) {
        const std::string path = moduleFolder() + "/" + file;
        FuzzModule loaded;
        loaded.module = std::make_unique<Module>(path, ServiceProbe::table(0));
        const auto image = ModuleImage::containing(&loaded.module->linkage());
        std::vector<Check> checks;
        loaded.map = checkStructure(&loaded.module->linkage(), &loaded.module->imports(), *image, checks);
        loaded.module->imports().entries[0].services = ServiceProbe::table(0);
        // The host has stored its services already, which the import table
        // check would report; every other structure fault stops the run.
        for (const Check &check : checks)
            if (check.level == Level::Fail && check.name != "import table")
                invariantBroken(path + ": " + check.gauge + " " + check.name + ": " + check.findings.front());
        modules->push_back(std::move(loaded));
    }
    for (const FuzzModule &module : *modules)
        for (const GaugeMap &gauge : module.map.gauges)
            addGaugeRecords(*snapshot, gauge);
    snapshot->take();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Host host;
    std::vector<GaugeInstance *> instances;
    std::vector<const GaugeMap *> maps;
    for (int copy = 0; copy < 2; ++copy)
        for (const FuzzModule &module : *modules)
            for (const GaugeMap &gauge : module.map.gauges) {
                instances.push_back(&host.createGauge(*module.module, gauge.name));
                maps.push_back(&gauge);
            }
    auto service = [&](size_t i, int32_t number) {
        CallerScope scope(Caller::GaugeCallback);
        host.service(*instances[i], number);
    };
    for (size_t i = 0; i < instances.size(); ++i)
        service(i, ServiceFirstUse);

    Input in(data, size);
    size_t actions = 0;
    while (!in.done() && actions++ < 4096) {
        const uint8_t op = in.byte();
        const size_t i = in.byte() % instances.size();
        switch (op % 6) {
        case 0: {
            const int32_t id = VariableIds[in.byte() % std::size(VariableIds)];
            const uint8_t pick = in.byte();
            double value;
            if (pick < 128)
                value = EdgeValues[pick % std::size(EdgeValues)];
            else if (pick < 192)
                value = in.word<double>();
            else
                value = static_cast<double>(in.word<int16_t>());
            host.variables().set(id, value);
            break;
        }
        case 1: {
            const uint8_t pick = in.byte();
            service(i, pick < 240 ? pick % 21 : in.word<int32_t>());
            break;
        }
        case 2:
        case 3: {
            GaugeInstance &gauge = *instances[i];
            std::vector<bool> shown;
            for (const ElementState &state : gauge.elements())
                shown.push_back(!(state.element->imageFlags & HiddenFlag));
            {
                CallerScope scope(Caller::ValueCallback);
                host.evaluate(gauge);
            }
            checkEvaluation(gauge, shown);
            break;
        }
        case 4: {
            const GaugeMap &map = *maps[i];
            int32_t x, y;
            const uint8_t pick = in.byte();
            if (!map.clickAreas.empty() && pick < 224) {
                const Box &box = map.clickAreas[pick % map.clickAreas.size()].box;
                x = box.x + static_cast<int32_t>(in.byte() % (box.width + 2)) - 1;
                y = box.y + static_cast<int32_t>(in.byte() % (box.height + 2)) - 1;
            } else {
                x = in.word<int32_t>();
                y = in.word<int32_t>();
            }
            CallerScope scope(Caller::MouseFunction);
            host.click(*instances[i], x, y);
            break;
        }
        default: {
            static const char *names[] = {"query", "install", "initialize", "update", "generate", "draw", "kill"};
            const char *name = names[in.byte() % 7];
            CallerScope scope(Caller::Routine);
            host.routine(*instances[i], name, in.word<uint32_t>());
            break;
        }
        }
        checkRecords();
    }
    for (size_t i = 0; i < instances.size(); ++i)
        service(i, ServiceTakeDown);
    checkRecords();
    return 0;
}
