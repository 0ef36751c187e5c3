// The substitute host: loads gauge modules, keeps the host variables, hands
// the modules its table of panel services, evaluates gauges, turns clicks
// into key events or mouse-function calls, and records every call a module
// makes into it.
#pragma once

#include "gauge_abi.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace host {

// A host error: the message says what and where, for the user to act on.
struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The host variables. Most are float64; a few the host keeps as int32, and
// those reach a ModuleVar as an int32 in the first four bytes of its value.
class Variables {
public:
    static bool isInt32(int32_t id);

    // Stores value; an int32 variable takes it truncated toward zero
    // (not-a-number and out-of-range values give 0).
    void set(int32_t id, double value);
    // The current value; a variable never set reads 0.
    double get(int32_t id) const;
    // Fills variable's value as readVariable does; id 0 is left alone.
    void fill(ModuleVar &variable) const;

private:
    std::unordered_map<int32_t, double> values_;
};

struct KeyEvent {
    uint32_t id;
    int32_t parameter; // as the module passed it, read as two's complement
};

// One call a module made into the host's element services (entries 24..31).
struct ElementCall {
    std::string entry;         // "updateElements" ...
    ElementHeader *root;       // the root element passed
    bool hasArgument;
    uint32_t argument;
};

class ModuleBackend; // module_backend.h

// A loaded module file.
class Module {
public:
    Module(const std::string &path, PanelServices *services);
    virtual ~Module();
    Module(const Module &) = delete;
    Module &operator=(const Module &) = delete;

    const std::string &path() const { return path_; }
    ModuleLinkage &linkage() const { return *linkage_; }
    ModuleImports &imports() const { return *imports_; }
    // The module's gauge of that name, or null.
    GaugeHeader *findGauge(const std::string &name) const;
    std::vector<GaugeHeader *> gauges() const;

protected:
    // For a backend that loads the file its own way: the records as the host
    // reads them, valid for the module's life, services already stored.
    Module(std::string path, ModuleLinkage *linkage, ModuleImports *imports);

private:
    std::string path_;
    void *library_ = nullptr;
    ModuleLinkage *linkage_ = nullptr;
    ModuleImports *imports_ = nullptr;
};

// What the host last computed for one element of a gauge instance.
struct ElementState {
    ElementHeader *element = nullptr;
    bool evaluated = false; // hidden elements are not evaluated
    double value = 0.0;     // Needle, Icon, StringElement
    double x = 0.0;         // Slider, Sprite
    double y = 0.0;
    double rotation = 0.0;  // Sprite
    std::string text;       // StringElement
    // Needle: the drawn angle, degrees clockwise from straight up, unwrapped
    // (render_geometry.h); it follows value at most maxRate per evaluation.
    double angle = 0.0;
    bool angleShown = false;         // false until the first evaluation
    std::vector<double> tableAngles; // the angle of each table point
};

// Guard bytes after every string buffer the host hands to a module.
constexpr size_t StringGuardBytes = 16;
constexpr unsigned char StringGuardByte = 0xA5;

// One gauge shown by the host. Instances of one gauge share the module's
// static records; what the host computes for each is kept here.
class GaugeInstance {
public:
    GaugeInstance(Module &module, GaugeHeader &header);

    Module &module() const { return *module_; }
    GaugeHeader &header() const { return *header_; }
    const std::string &name() const { return name_; }
    // The chain, index 0 the root; stops at the first null entry and at an
    // element seen before, so a looping chain cannot hang the host.
    const std::vector<ElementState> &elements() const { return elements_; }
    std::vector<ElementState> &elements() { return elements_; }
    // The host-owned text buffer of chain index i (maxLength + 1 bytes, then
    // guard bytes), or null for elements that are not strings.
    std::vector<char> *textBuffer(size_t index);
    // True once a module wrote into a string buffer's guard bytes.
    bool guardOverwritten() const { return guardOverwritten_; }
    void noteGuardOverwritten() { guardOverwritten_ = true; }
    // True from the frame that brought the gauge into use until its take-down.
    bool inUse() const { return inUse_; }
    void setInUse(bool inUse) { inUse_ = inUse; }

private:
    Module *module_;
    GaugeHeader *header_;
    std::string name_;
    std::vector<ElementState> elements_;
    std::vector<std::vector<char>> textBuffers_;
    bool guardOverwritten_ = false;
    bool inUse_ = false;
};

// A click area of a mouse list with its box resolved to gauge pixels.
struct ClickArea {
    const MouseRect *rect;
    Box box;          // gauge pixels
    int32_t helpId;   // of the innermost enclosing parent, 0 for none
};

// Resolves a mouse list into its click areas, in list order. Malformed lists
// (an unbalanced parent end, a missing end record) are read as far as they
// make sense, and never past maxRecords.
std::vector<ClickArea> clickAreas(const MouseRect *rects, size_t maxRecords = 4096);

// Mouse flags of a plain left click, as the host passes them.
constexpr uint32_t LeftClickFlags = 0x20000000;

class Host {
public:
    Host();
    ~Host();
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    // The host whose services the modules currently reach.
    static Host *active();

    PanelServices *services() { return &services_; }
    // How module files are loaded and run: the default backend
    // (module_backend.h) unless another is set, which must happen before the
    // first module is loaded.
    void setBackend(std::unique_ptr<ModuleBackend> backend);
    ModuleBackend &backend() { return *backend_; }
    Variables &variables() { return variables_; }
    const Variables &variables() const { return variables_; }

    // Loads a module file (a path, relative to the working folder or
    // absolute), checks its records and hands it the services table.
    Module &loadModule(const std::string &path);
    GaugeInstance &createGauge(Module &module, const std::string &name);
    const std::vector<std::unique_ptr<GaugeInstance>> &instances() const { return instances_; }

    // Calls the gauge callback, if any, with a service number.
    void service(GaugeInstance &gauge, int32_t number);
    // One host frame over the given gauges, as a real host drives them: a
    // gauge new to frames first gets its first-use service (4) and its
    // one-time reset (10); then every gauge gets the frame service (6) and,
    // after that, one evaluation of its chain.
    void frame(std::span<GaugeInstance *const> gauges);
    // The same over every gauge instance, in creation order.
    void frame();
    // Takes down a gauge that frames brought into use (service 12); gauges
    // never in use are left alone.
    void takeDown(GaugeInstance &gauge);
    // Evaluates the gauge's chain once.
    void evaluate(GaugeInstance &gauge);
    // Clicks at gauge pixel (x, y); returns the key events carried out.
    std::vector<KeyEvent> click(GaugeInstance &gauge, int32_t x, int32_t y);
    // Calls one of the header's seven routines by name ("query", ...);
    // returns the element-service calls it made. Throws on an unknown name.
    std::vector<ElementCall> routine(GaugeInstance &gauge, const std::string &name, uint32_t argument);

    // Carries out a key event: records it, then applies its effect.
    void carryOut(uint32_t id, uint32_t parameter);
    // What carrying out a key event does to the host variables.
    std::function<void(Host &, const KeyEvent &)> keyEventEffect;

    // Everything the modules sent or called, in order, since the last take.
    std::vector<KeyEvent> takeKeyEvents();
    std::vector<ElementCall> takeElementCalls();
    // Called with every ModuleVar a module refreshes.
    void readVariable(ModuleVar &variable);
    void recordElementCall(const char *entry, ElementHeader *root, bool hasArgument, uint32_t argument);

private:
    template <typename Gauges>
    void runFrame(const Gauges &gauges);

    PanelServices services_{};
    Variables variables_;
    std::unique_ptr<ModuleBackend> backend_; // outlives the modules it loaded
    std::vector<std::unique_ptr<Module>> modules_;
    std::vector<std::unique_ptr<GaugeInstance>> instances_;
    std::vector<KeyEvent> keyEvents_;
    std::vector<ElementCall> elementCalls_;
    Host *previous_ = nullptr;
};

// The name of an element kind as the host prints it.
const char *kindName(int32_t kind);

} // namespace host
