#include "host.h"

#include "conversions.h"
#include "host_model.h"
#include "module_backend.h"
#include "module_var.h"
#include "platform.h"
#include "render_geometry.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <utility>

namespace host {
namespace {

Host *activeHost = nullptr;

// The services table's entries: each reaches the active host.
void GAUGE_CALL queryElements(ElementHeader *root)
{
    if (Host *host = Host::active())
        host->recordElementCall("queryElements", root, false, 0);
}
void GAUGE_CALL installElements(ElementHeader *root, uint32_t argument)
{
    if (Host *host = Host::active())
        host->recordElementCall("installElements", root, true, argument);
}
void GAUGE_CALL initializeElements(ElementHeader *root)
{
    if (Host *host = Host::active())
        host->recordElementCall("initializeElements", root, false, 0);
}
void GAUGE_CALL updateElements(ElementHeader *root)
{
    if (Host *host = Host::active())
        host->recordElementCall("updateElements", root, false, 0);
}
void GAUGE_CALL generateElements(ElementHeader *root, uint32_t argument)
{
    if (Host *host = Host::active())
        host->recordElementCall("generateElements", root, true, argument);
}
void GAUGE_CALL drawElements(ElementHeader *root)
{
    if (Host *host = Host::active())
        host->recordElementCall("drawElements", root, false, 0);
}
void GAUGE_CALL killElements(ElementHeader *root)
{
    if (Host *host = Host::active())
        host->recordElementCall("killElements", root, false, 0);
}
void GAUGE_CALL sendKeyEvent(uint32_t id, uint32_t parameter)
{
    if (Host *host = Host::active())
        host->carryOut(id, parameter);
}
void GAUGE_CALL readVariable(ModuleVar *variable)
{
    if (Host *host = Host::active(); host && variable)
        host->readVariable(*variable);
}

constexpr size_t MaxChainLength = 4096;

} // namespace

// ---------------------------------------------------------------- Variables

bool Variables::isInt32(int32_t id)
{
    const VariableInfo *info = variableInfo(id);
    return info && info->int32;
}

void Variables::set(int32_t id, double value)
{
    values_[id] = isInt32(id) ? gauge::truncateToInt32(value) : value;
}

double Variables::get(int32_t id) const
{
    auto found = values_.find(id);
    return found == values_.end() ? 0.0 : found->second;
}

void Variables::fill(ModuleVar &variable) const
{
    if (variable.id == 0)
        return;
    variable.previousValue = gauge::variableNumber(variable);
    if (isInt32(variable.id))
        gauge::storeVariableInt32(variable, gauge::truncateToInt32(get(variable.id)));
    else
        gauge::storeVariableNumber(variable, get(variable.id));
}

// ---------------------------------------------------------------- Module

Module::Module(const std::string &path, PanelServices *services) : path_(path)
{
    library_ = platform::loadLibraryFile(path.c_str());
    if (!library_)
        throw HostError("cannot load module " + path + ": " + platform::lastLoaderError());
    linkage_ = static_cast<ModuleLinkage *>(platform::entryPoint(library_, "Linkage"));
    imports_ = static_cast<ModuleImports *>(platform::entryPoint(library_, "ImportTable"));
    std::string problem;
    if (!linkage_)
        problem = "exports no Linkage";
    else if (!imports_)
        problem = "exports no ImportTable";
    else if (linkage_->moduleId != ModuleIdentifier)
        problem = "Linkage has module id " + std::to_string(linkage_->moduleId) + ", not 19";
    else if (imports_->entries[0].id != PanelServicesImportId)
        problem = "ImportTable entry 0 is not the panel services entry";
    if (!problem.empty()) {
        platform::freeLibrary(library_);
        throw HostError("module " + path + " " + problem);
    }
    imports_->entries[0].services = services;
}

Module::Module(std::string path, ModuleLinkage *linkage, ModuleImports *imports)
    : path_(std::move(path)), linkage_(linkage), imports_(imports)
{
}

Module::~Module()
{
    platform::freeLibrary(library_);
}

std::vector<GaugeHeader *> Module::gauges() const
{
    std::vector<GaugeHeader *> list;
    for (GaugeHeader *header : linkage_->gauges) {
        if (!header)
            break;
        list.push_back(header);
    }
    return list;
}

GaugeHeader *Module::findGauge(const std::string &name) const
{
    for (GaugeHeader *header : gauges())
        if (header->name && name == header->name)
            return header;
    return nullptr;
}

// ---------------------------------------------------------------- GaugeInstance

GaugeInstance::GaugeInstance(Module &module, GaugeHeader &header)
    : module_(&module), header_(&header), name_(header.name ? header.name : "")
{
    std::unordered_set<ElementHeader *> seen;
    ElementHeader *element = header.elements ? header.elements[0] : nullptr;
    while (element && elements_.size() < MaxChainLength && seen.insert(element).second) {
        ElementState state;
        state.element = element;
        elements_.push_back(state);
        element = element->next ? element->next[0] : nullptr;
    }
    textBuffers_.resize(elements_.size());
    for (size_t i = 0; i < elements_.size(); ++i) {
        if (elements_[i].element->kind != KindString)
            continue;
        auto *string = reinterpret_cast<StringElement *>(elements_[i].element);
        const size_t capacity = static_cast<size_t>(std::max(string->maxLength, 0)) + 1;
        textBuffers_[i].assign(capacity + StringGuardBytes, static_cast<char>(StringGuardByte));
        textBuffers_[i][0] = '\0';
    }
}

std::vector<char> *GaugeInstance::textBuffer(size_t index)
{
    if (index >= textBuffers_.size() || textBuffers_[index].empty())
        return nullptr;
    return &textBuffers_[index];
}

// ---------------------------------------------------------------- click areas

std::vector<ClickArea> clickAreas(const MouseRect *rects, size_t maxRecords)
{
    // Origins add up in 64 bits: a module's boxes may be anything.
    struct Parent {
        int64_t x, y;
        int32_t helpId;
    };
    auto fits = [](int64_t value) { return value >= INT32_MIN && value <= INT32_MAX; };
    std::vector<ClickArea> areas;
    std::vector<Parent> parents;
    for (size_t i = 0; rects && i < maxRecords && rects[i].kind != MouseEnd; ++i) {
        const MouseRect &rect = rects[i];
        const Parent outer = parents.empty() ? Parent{0, 0, 0} : parents.back();
        const int64_t x = outer.x + rect.box.x;
        const int64_t y = outer.y + rect.box.y;
        switch (rect.kind) {
        case MouseParent:
            parents.push_back({x, y, rect.helpId ? rect.helpId : outer.helpId});
            break;
        case MouseParentEnd:
            if (!parents.empty())
                parents.pop_back();
            break;
        case MouseClickArea:
            // An area whose corner lies beyond 32 bits cannot be clicked.
            if (fits(x) && fits(y))
                areas.push_back({&rect, {static_cast<int32_t>(x), static_cast<int32_t>(y), rect.box.width,
                                         rect.box.height},
                                 outer.helpId});
            break;
        default:
            break;
        }
    }
    return areas;
}

// ---------------------------------------------------------------- Host

Host::Host() : backend_(makeDefaultBackend()), previous_(activeHost)
{
    services_.queryElements = host::queryElements;
    services_.installElements = host::installElements;
    services_.initializeElements = host::initializeElements;
    services_.updateElements = host::updateElements;
    services_.generateElements = host::generateElements;
    services_.drawElements = host::drawElements;
    services_.killElements = host::killElements;
    services_.sendKeyEvent = host::sendKeyEvent;
    services_.readVariable = host::readVariable;
    keyEventEffect = applyKeyEvent;
    activeHost = this;
}

Host::~Host()
{
    // Gauges in use are taken down, last created first, before their modules go.
    for (auto gauge = instances_.rbegin(); gauge != instances_.rend(); ++gauge)
        takeDown(**gauge);
    instances_.clear();
    // Unload in reverse order of loading.
    while (!modules_.empty())
        modules_.pop_back();
    activeHost = previous_;
}

Host *Host::active()
{
    return activeHost;
}

void Host::setBackend(std::unique_ptr<ModuleBackend> backend)
{
    if (!modules_.empty())
        throw HostError("the module backend cannot change once modules are loaded");
    backend_ = std::move(backend);
}

Module &Host::loadModule(const std::string &path)
{
    modules_.push_back(backend_->loadModule(path, &services_));
    return *modules_.back();
}

GaugeInstance &Host::createGauge(Module &module, const std::string &name)
{
    GaugeHeader *header = module.findGauge(name);
    if (!header)
        throw HostError("module " + module.path() + " has no gauge \"" + name + "\"");
    instances_.push_back(std::make_unique<GaugeInstance>(module, *header));
    return *instances_.back();
}

void Host::service(GaugeInstance &gauge, int32_t number)
{
    if (GaugeCallback callback = gauge.header().callback)
        callback(&gauge.header(), number, 0);
}

namespace {

GaugeInstance &instance(GaugeInstance *gauge) { return *gauge; }
GaugeInstance &instance(const std::unique_ptr<GaugeInstance> &gauge) { return *gauge; }

} // namespace

// Allocates nothing: a frame runs many times a second.
template <typename Gauges>
void Host::runFrame(const Gauges &gauges)
{
    for (const auto &entry : gauges) {
        GaugeInstance &gauge = instance(entry);
        if (gauge.inUse())
            continue;
        gauge.setInUse(true);
        service(gauge, ServiceFirstUse);
        service(gauge, ServiceReset);
    }
    for (const auto &entry : gauges)
        service(instance(entry), ServiceFrame);
    for (const auto &entry : gauges)
        evaluate(instance(entry));
}

void Host::frame(std::span<GaugeInstance *const> gauges)
{
    runFrame(gauges);
}

void Host::frame()
{
    runFrame(instances_);
}

void Host::takeDown(GaugeInstance &gauge)
{
    if (!gauge.inUse())
        return;
    gauge.setInUse(false);
    service(gauge, ServiceTakeDown);
}

void Host::readVariable(ModuleVar &variable)
{
    variables_.fill(variable);
}

namespace {

// Calls a value callback, or takes the source's value where there is none.
double axisValue(ValueCallback callback, ElementHeader *element, const ModuleVar &source)
{
    return callback ? callback(element) : gauge::variableNumber(source);
}

} // namespace

void Host::evaluate(GaugeInstance &gauge)
{
    auto &elements = gauge.elements();
    for (size_t i = 0; i < elements.size(); ++i) {
        ElementState &state = elements[i];
        ElementHeader *element = state.element;
        // A hidden element is neither refreshed nor called: it keeps what it
        // last showed until something shows it again.
        if (element->imageFlags & HiddenFlag)
            continue;
        state.evaluated = true;
        switch (element->kind) {
        case KindNeedle: {
            auto *needle = reinterpret_cast<Needle *>(element);
            variables_.fill(needle->source);
            state.value = axisValue(needle->callback, element, needle->source);
            advanceNeedle(state, *needle);
            break;
        }
        case KindIcon: {
            auto *icon = reinterpret_cast<Icon *>(element);
            variables_.fill(icon->source);
            state.value = axisValue(icon->callback, element, icon->source);
            break;
        }
        case KindString: {
            auto *string = reinterpret_cast<StringElement *>(element);
            std::vector<char> &buffer = *gauge.textBuffer(i);
            string->text = buffer.data();
            variables_.fill(string->source);
            state.value = axisValue(string->callback, element, string->source);
            const size_t capacity = buffer.size() - StringGuardBytes;
            for (size_t g = capacity; g < buffer.size(); ++g)
                if (static_cast<unsigned char>(buffer[g]) != StringGuardByte)
                    gauge.noteGuardOverwritten();
            const auto end = std::find(buffer.begin(), buffer.begin() + static_cast<long>(capacity), '\0');
            state.text.assign(buffer.begin(), end);
            break;
        }
        case KindSlider: {
            auto *slider = reinterpret_cast<Slider *>(element);
            variables_.fill(slider->sourceX);
            variables_.fill(slider->sourceY);
            state.x = axisValue(slider->callbackX, element, slider->sourceX);
            state.y = axisValue(slider->callbackY, element, slider->sourceY);
            break;
        }
        case KindSprite: {
            auto *sprite = reinterpret_cast<Sprite *>(element);
            variables_.fill(sprite->sourceX);
            variables_.fill(sprite->sourceY);
            variables_.fill(sprite->sourceRotation);
            state.x = axisValue(sprite->callbackX, element, sprite->sourceX);
            state.y = axisValue(sprite->callbackY, element, sprite->sourceY);
            state.rotation = axisValue(sprite->callbackRotation, element, sprite->sourceRotation);
            break;
        }
        default:
            break;
        }
    }
}

std::vector<KeyEvent> Host::click(GaugeInstance &gauge, int32_t x, int32_t y)
{
    takeKeyEvents();
    for (const ClickArea &area : clickAreas(gauge.header().mouseRects)) {
        const Box &box = area.box;
        if (x < box.x || y < box.y || x >= int64_t{box.x} + box.width || y >= int64_t{box.y} + box.height)
            continue;
        // The first area in list order that holds the point takes the click.
        if (area.rect->eventId)
            carryOut(area.rect->eventId, 0);
        else if (area.rect->function) {
            MousePosition position{x - box.x, y - box.y};
            area.rect->function(&position, LeftClickFlags);
        }
        break;
    }
    return takeKeyEvents();
}

std::vector<ElementCall> Host::routine(GaugeInstance &gauge, const std::string &name, uint32_t argument)
{
    GaugeHeader &header = gauge.header();
    takeElementCalls();
    if (name == "query") {
        if (header.queryRoutine)
            header.queryRoutine();
    } else if (name == "install") {
        if (header.installRoutine)
            header.installRoutine(argument);
    } else if (name == "initialize") {
        if (header.initializeRoutine)
            header.initializeRoutine();
    } else if (name == "update") {
        if (header.updateRoutine)
            header.updateRoutine();
    } else if (name == "generate") {
        if (header.generateRoutine)
            header.generateRoutine(argument);
    } else if (name == "draw") {
        if (header.drawRoutine)
            header.drawRoutine();
    } else if (name == "kill") {
        if (header.killRoutine)
            header.killRoutine();
    } else {
        throw HostError("unknown routine \"" + name +
                        "\" (query, install, initialize, update, generate, draw or kill)");
    }
    return takeElementCalls();
}

void Host::carryOut(uint32_t id, uint32_t parameter)
{
    KeyEvent event{id, static_cast<int32_t>(parameter)};
    keyEvents_.push_back(event);
    if (keyEventEffect)
        keyEventEffect(*this, event);
}

std::vector<KeyEvent> Host::takeKeyEvents()
{
    return std::exchange(keyEvents_, {});
}

std::vector<ElementCall> Host::takeElementCalls()
{
    return std::exchange(elementCalls_, {});
}

void Host::recordElementCall(const char *entry, ElementHeader *root, bool hasArgument, uint32_t argument)
{
    elementCalls_.push_back({entry, root, hasArgument, argument});
}

const char *kindName(int32_t kind)
{
    switch (kind) {
    case KindStaticImage: return "StaticImage";
    case KindNeedle: return "Needle";
    case KindString: return "StringElement";
    case KindSlider: return "Slider";
    case KindIcon: return "Icon";
    case KindSprite: return "Sprite";
    default: return "Unknown";
    }
}

} // namespace host
