// The structure checks: every record a module exports or points at, walked
// from Linkage with bounds, each pointer checked against the module's memory
// before it is followed. No module code runs here.
#include "validate_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <map>

namespace host::validate {
namespace {

std::string hex(int64_t value)
{
    char text[32];
    if (value < 0)
        std::snprintf(text, sizeof text, "-0x%llx", static_cast<unsigned long long>(-value));
    else
        std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

std::string boxText(const Box &box)
{
    return "(" + std::to_string(box.x) + ", " + std::to_string(box.y) + ", " + std::to_string(box.width) + ", " +
           std::to_string(box.height) + ")";
}

Check &addCheck(std::deque<Check> &checks, const std::string &gauge, const std::string &name)
{
    checks.push_back(Check{.gauge = gauge, .name = name});
    return checks.back();
}

// A function pointer found in a record: null, or code of the module.
bool soundFunction(const ModuleImage &image, const void *function)
{
    return !function || image.executable(function);
}

void checkFunction(Check &check, const ModuleImage &image, const void *function, const std::string &what)
{
    if (!soundFunction(image, function))
        check.fail(what + " points outside the module's code");
}

void checkLinkage(ModuleLinkage *linkage, const ModuleImage &image, std::deque<Check> &checks)
{
    Check &check = addCheck(checks, "", "linkage");
    if (linkage->moduleId != ModuleIdentifier)
        check.fail("Linkage: module id is " + hex(linkage->moduleId) + ", not 0x13");
    if (linkage->moduleVersion != 0 && linkage->moduleVersion != 0x800)
        check.fail("Linkage: module version is " + hex(linkage->moduleVersion) + ", not 0 or 0x800");
    if (linkage->reserved[0] || linkage->reserved[1])
        check.warn("Linkage: the two words after module deinit are not 0");
    for (auto [hook, name] : {std::pair{linkage->moduleInit, "module init"}, {linkage->moduleDeinit, "module deinit"}}) {
        if (!hook)
            check.warn("Linkage: " + std::string(name) + " is null");
        else
            checkFunction(check, image, reinterpret_cast<const void *>(hook), std::string("Linkage: ") + name);
    }
}

void checkImports(ModuleImports *imports, const ModuleImage &image, std::deque<Check> &checks)
{
    Check &check = addCheck(checks, "", "import table");
    if (!image.writable(imports, sizeof *imports)) {
        check.fail("ImportTable: not in the module's writable data; the host cannot store its services there");
        return;
    }
    if (imports->entries[0].id != PanelServicesImportId)
        check.fail("ImportTable: entry 0 has id " + hex(imports->entries[0].id) + ", not 0xf (panel services)");
    // A module mirrored from a process of its backend's own was loaded by the
    // host, which stored its table at once: the backend says what was there.
    const std::optional<bool> heldBefore =
        image.emulated() ? image.servicesHeldAtLoad() : std::optional<bool>(imports->entries[0].services != nullptr);
    if (!heldBefore)
        check.warn("ImportTable: whether entry 0 held a services address before the host stored one: skipped "
                   "(emulated; the backend does not say)");
    else if (*heldBefore)
        check.fail("ImportTable: entry 0 already holds a services address before the host stored one");
    if (imports->entries[1].id || imports->entries[1].services)
        check.fail("ImportTable: entry 1 is not the zero end entry");
}

void checkHeader(GaugeMap &gauge, const ModuleImage &image, int32_t moduleVersion, std::deque<Check> &checks)
{
    Check &check = addCheck(checks, gauge.name, "header");
    const GaugeHeader &header = *gauge.header;
    if (header.version != GaugeVersion700 && header.version != GaugeVersion800)
        check.fail("header: version is " + std::to_string(header.version) + ", not 700 or 800");
    else if ((moduleVersion == 0x800) != (header.version == GaugeVersion800))
        check.warn("header: version " + std::to_string(header.version) + " in a module of version " +
                   hex(moduleVersion));
    if (!header.elements || !image.readable(header.elements, sizeof(ElementHeader *)))
        check.fail("header: elements is null or outside the module");
    else if (!header.elements[0])
        check.fail("header: elements entry 0 (the root element) is null");
    if (!header.mouseRects)
        check.fail("header: mouseRects is null; every gauge has a mouse list");
    const void *routines[] = {
        reinterpret_cast<const void *>(header.queryRoutine),      reinterpret_cast<const void *>(header.installRoutine),
        reinterpret_cast<const void *>(header.initializeRoutine), reinterpret_cast<const void *>(header.updateRoutine),
        reinterpret_cast<const void *>(header.generateRoutine),   reinterpret_cast<const void *>(header.drawRoutine),
        reinterpret_cast<const void *>(header.killRoutine),
    };
    const char *routineNames[] = {"query", "install", "initialize", "update", "generate", "draw", "kill"};
    int set = 0;
    std::string missing;
    for (int i = 0; i < 7; ++i) {
        if (routines[i])
            ++set;
        else
            missing += std::string(missing.empty() ? "" : ", ") + routineNames[i];
        checkFunction(check, image, routines[i], std::string("header: ") + routineNames[i] + " routine");
    }
    if (set != 0 && set != 7)
        check.fail("header: " + std::to_string(set) + " of the seven routines are set; missing " + missing +
                   " (all seven or none)");
    checkFunction(check, image, reinterpret_cast<const void *>(header.callback), "header: gauge callback");
    if (header.sizeMm <= 0)
        check.warn("header: sizeMm is " + std::to_string(header.sizeMm));
}

// Walks the chain from the root: it must end, never loop, and each next list
// must hold exactly one element.
void checkChain(GaugeMap &gauge, const ModuleImage &image, std::deque<Check> &checks)
{
    Check &check = addCheck(checks, gauge.name, "chain");
    const GaugeHeader &header = *gauge.header;
    if (!header.elements || !image.readable(header.elements, sizeof(ElementHeader *)) || !header.elements[0]) {
        check.fail("chain: no root element to start from");
        return;
    }
    std::map<const ElementHeader *, size_t> seen;
    ElementHeader *element = header.elements[0];
    while (element) {
        const size_t index = gauge.chain.size();
        if (index >= MaxChainElements) {
            check.fail("chain: does not end within " + std::to_string(MaxChainElements) + " elements");
            return;
        }
        if (auto found = seen.find(element); found != seen.end()) {
            check.fail(elementName(index - 1, gauge.chain.back()) + ": next leads back to element " +
                       std::to_string(found->second) + "; the chain loops");
            return;
        }
        if (!image.readable(element, sizeof(ElementHeader))) {
            check.fail("element " + std::to_string(index) + ": record lies outside the module");
            return;
        }
        const size_t size = elementSize(element->kind);
        if (!size) {
            check.fail(elementName(index, element) + ": unknown element kind " + std::to_string(element->kind));
            return;
        }
        if (!image.readable(element, size)) {
            check.fail(elementName(index, element) + ": record runs past the module's data");
            return;
        }
        if (!image.writable(element, size))
            check.fail(elementName(index, element) +
                       ": record is read-only; the host writes its sources and the gauge its HiddenFlag");
        seen[element] = index;
        gauge.chain.push_back(element);
        ElementHeader **next = element->next;
        if (!next)
            break;
        if (!image.readable(next, sizeof(ElementHeader *))) {
            check.fail(elementName(index, element) + ": next list lies outside the module");
            return;
        }
        if (!next[0]) {
            check.warn(elementName(index, element) + ": next list is empty; the last element's next is null");
            break;
        }
        if (!image.readable(next + 1, sizeof(ElementHeader *)) || next[1])
            check.fail(elementName(index, element) + ": next list holds more than one element (entry 1 is not null)");
        element = next[0];
    }
    gauge.chainSound = check.level != Level::Fail;
}

void checkFailureList(Check &check, GaugeMap &gauge, const ModuleImage &image, const FailureRecord *list,
                      const std::string &owner)
{
    if (!list)
        return;
    for (size_t i = 0; i < MaxFailureRecords; ++i) {
        if (!image.readable(list + i, sizeof *list)) {
            check.fail(owner + ": failure list runs outside the module at record " + std::to_string(i));
            return;
        }
        if (list[i].key == 0) {
            gauge.otherRecords.push_back({list, (i + 1) * sizeof *list, owner + " failure list"});
            return;
        }
        if (list[i].reserved)
            check.warn(owner + ": failure record " + std::to_string(i) + " has a non-zero third word");
    }
    check.fail(owner + ": failure list does not end (key 0) within " + std::to_string(MaxFailureRecords) +
               " records");
}

void checkTable(Check &check, GaugeMap &gauge, const ModuleImage &image, const Needle &needle, const std::string &owner)
{
    if (needle.nonlinearityCount < 0 || needle.nonlinearityCount > MaxTablePoints) {
        check.fail(owner + ": nonlinearityCount is " + std::to_string(needle.nonlinearityCount));
        return;
    }
    if (!needle.nonlinearity != !needle.nonlinearityCount) {
        check.fail(owner + ": nonlinearity and nonlinearityCount disagree (" +
                   (needle.nonlinearity ? "a table" : "no table") + ", count " +
                   std::to_string(needle.nonlinearityCount) + ")");
        return;
    }
    if (!needle.nonlinearity)
        return;
    const size_t bytes = static_cast<size_t>(needle.nonlinearityCount) * sizeof(NonlinearityPoint);
    if (!image.readable(needle.nonlinearity, bytes)) {
        check.fail(owner + ": needle table runs outside the module");
        return;
    }
    gauge.otherRecords.push_back({needle.nonlinearity, bytes, owner + " needle table"});
    for (int32_t i = 0; i < needle.nonlinearityCount; ++i) {
        const double value = needle.nonlinearity[i].value;
        if (!std::isfinite(value)) {
            check.fail(owner + ": needle table point " + std::to_string(i) + " has a non-finite value");
            return;
        }
        if (i > 0 && !(value > needle.nonlinearity[i - 1].value)) {
            char text[160];
            std::snprintf(text, sizeof text, ": needle table point %d (value %g) is not above point %d (value %g)", i,
                          value, i - 1, needle.nonlinearity[i - 1].value);
            check.fail(owner + text);
            return;
        }
    }
}

void checkScale(Check &check, double scale, const std::string &owner, const char *field)
{
    if (!std::isfinite(scale))
        check.fail(owner + ": " + field + " is not finite");
}

void noteSource(GaugeMap &gauge, const ModuleVar &variable)
{
    if (variable.id)
        gauge.variableIds.insert(variable.id);
}

// The fields of each element, by kind.
void checkElements(GaugeMap &gauge, const ModuleImage &image, std::deque<Check> &checks)
{
    Check &fields = addCheck(checks, gauge.name, "element fields");
    Check &tables = addCheck(checks, gauge.name, "needle tables");
    Check &failures = addCheck(checks, gauge.name, "failure lists");
    for (size_t i = 0; i < gauge.chain.size(); ++i) {
        ElementHeader *element = gauge.chain[i];
        const std::string name = elementName(i, element);
        if (element->gauge != gauge.header)
            fields.fail(name + ": gauge points at " +
                        (element->gauge ? "another header" : std::string("nothing")) + ", not its own header");
        if (element->imageFlags & HiddenFlag)
            fields.warn(name + ": starts with HiddenFlag set; elements start shown");
        if (i == 0 && element->kind != KindStaticImage)
            fields.fail(name + ": the root is not a StaticImage");
        if (element->kind != KindString && element->resourceId < 0)
            fields.fail(name + ": resourceId is " + std::to_string(element->resourceId) + "; it draws a bitmap");
        checkFailureList(failures, gauge, image, element->failures, name);
        switch (element->kind) {
        case KindNeedle: {
            auto &needle = *reinterpret_cast<Needle *>(element);
            noteSource(gauge, needle.source);
            checkTable(tables, gauge, image, needle, name);
            if (needle.maxRate < 0)
                fields.warn(name + ": maxRate is negative");
            checkFunction(fields, image, reinterpret_cast<const void *>(needle.callback), name + ": callback");
            break;
        }
        case KindString: {
            auto &string = *reinterpret_cast<StringElement *>(element);
            noteSource(gauge, string.source);
            if (element->resourceId != -1)
                fields.warn(name + ": resourceId is " + std::to_string(element->resourceId) + ", not -1");
            if (string.maxLength < 0 || string.maxLength > MaxStringLength)
                fields.fail(name + ": maxLength is " + std::to_string(string.maxLength));
            if (string.text)
                fields.warn(name + ": text already points somewhere; the host supplies the buffer");
            bool terminated = false;
            for (char c : string.fontFace)
                terminated = terminated || c == '\0';
            if (!terminated)
                fields.fail(name + ": fontFace has no terminating NUL within its 32 characters");
            if (!string.callback)
                fields.warn(name + ": no callback; nothing writes the text");
            checkFunction(fields, image, reinterpret_cast<const void *>(string.callback), name + ": callback");
            break;
        }
        case KindSlider: {
            auto &slider = *reinterpret_cast<Slider *>(element);
            noteSource(gauge, slider.sourceX);
            noteSource(gauge, slider.sourceY);
            checkScale(fields, slider.scaleX, name, "scaleX");
            checkScale(fields, slider.scaleY, name, "scaleY");
            checkFunction(fields, image, reinterpret_cast<const void *>(slider.callbackX), name + ": callbackX");
            checkFunction(fields, image, reinterpret_cast<const void *>(slider.callbackY), name + ": callbackY");
            break;
        }
        case KindIcon: {
            auto &icon = *reinterpret_cast<Icon *>(element);
            noteSource(gauge, icon.source);
            if (icon.iconCount < 1 || icon.iconCount > MaxIconCount)
                fields.fail(name + ": iconCount is " + std::to_string(icon.iconCount));
            checkFunction(fields, image, reinterpret_cast<const void *>(icon.callback), name + ": callback");
            break;
        }
        case KindSprite: {
            auto &sprite = *reinterpret_cast<Sprite *>(element);
            noteSource(gauge, sprite.sourceX);
            noteSource(gauge, sprite.sourceY);
            noteSource(gauge, sprite.sourceRotation);
            checkScale(fields, sprite.scaleX, name, "scaleX");
            checkScale(fields, sprite.scaleY, name, "scaleY");
            checkScale(fields, sprite.scaleRotation, name, "scaleRotation");
            checkScale(fields, sprite.textureScaleX, name, "textureScaleX");
            checkScale(fields, sprite.textureScaleY, name, "textureScaleY");
            checkFunction(fields, image, reinterpret_cast<const void *>(sprite.callbackX), name + ": callbackX");
            checkFunction(fields, image, reinterpret_cast<const void *>(sprite.callbackY), name + ": callbackY");
            checkFunction(fields, image, reinterpret_cast<const void *>(sprite.callbackRotation),
                          name + ": callbackRotation");
            break;
        }
        default:
            break;
        }
    }
}

std::string mouseName(size_t index, int32_t kind)
{
    return "mouse record " + std::to_string(index) + " (kind " + std::to_string(kind) + ")";
}

// The mouse list: parents balanced, ended, click areas well formed.
void checkMouseList(GaugeMap &gauge, const ModuleImage &image, std::deque<Check> &checks)
{
    Check &list = addCheck(checks, gauge.name, "mouse list");
    Check &areas = addCheck(checks, gauge.name, "click areas");
    const MouseRect *rects = gauge.header->mouseRects;
    if (!rects) {
        list.fail("mouse list: the header has none");
        return;
    }
    struct Open {
        size_t index;
        Box box; // gauge pixels
        bool whole;
    };
    std::vector<Open> open;
    bool ended = false;
    size_t count = 0;
    for (; count < MaxMouseRecords; ++count) {
        const MouseRect &rect = rects[count];
        if (!image.readable(&rect, sizeof rect)) {
            list.fail("mouse record " + std::to_string(count) + ": lies outside the module");
            return;
        }
        const std::string name = mouseName(count, rect.kind);
        const Open outer = open.empty() ? Open{0, {0, 0, 0, 0}, true} : open.back();
        // Coordinates beyond any gauge's size would overflow the host's
        // arithmetic when parents add up; the list is not driven then.
        if (std::abs(int64_t(rect.box.x)) > MaxCoordinate || std::abs(int64_t(rect.box.y)) > MaxCoordinate ||
            std::abs(int64_t(rect.box.width)) > MaxCoordinate || std::abs(int64_t(rect.box.height)) > MaxCoordinate) {
            list.fail(name + ": box " + boxText(rect.box) + " lies beyond any gauge's size");
            continue;
        }
        if (rect.kind == MouseEnd) {
            for (const Open &parent : open)
                list.fail(mouseName(parent.index, MouseParent) + ": parent is never closed by a kind 3 record");
            ended = true;
            ++count;
            break;
        }
        switch (rect.kind) {
        case MouseParent: {
            if (count == 0 && (rect.box.x || rect.box.y || rect.box.width || rect.box.height))
                list.warn(name + ": the first parent does not cover the whole gauge");
            if (rect.box.width < 0 || rect.box.height < 0)
                list.fail(name + ": box " + boxText(rect.box) + " has a negative size");
            const bool whole = !rect.box.x && !rect.box.y && !rect.box.width && !rect.box.height;
            const Box box = whole ? outer.box
                                  : Box{outer.box.x + rect.box.x, outer.box.y + rect.box.y, rect.box.width,
                                        rect.box.height};
            open.push_back({count, box, whole && outer.whole});
            break;
        }
        case MouseParentEnd:
            if (open.empty())
                list.fail(name + ": closes a parent area, but none is open");
            else
                open.pop_back();
            break;
        case MouseClickArea: {
            if (open.empty())
                areas.fail(name + ": click area outside any parent area");
            const bool hasEvent = rect.eventId != 0;
            const bool hasFunction = rect.function != nullptr;
            if (hasEvent && hasFunction)
                areas.fail(name + ": names both key event " + hex(rect.eventId) + " and a mouse function");
            else if (!hasEvent && !hasFunction)
                areas.fail(name + ": names neither a key event nor a mouse function");
            checkFunction(areas, image, reinterpret_cast<const void *>(rect.function), name + ": function");
            if (rect.box.width <= 0 || rect.box.height <= 0)
                areas.fail(name + ": box " + boxText(rect.box) + " has no area");
            else if (!outer.whole) {
                const Box &parent = outer.box;
                const int64_t x = int64_t(parent.x) + rect.box.x, y = int64_t(parent.y) + rect.box.y;
                if (rect.box.x < 0 || rect.box.y < 0 || x + rect.box.width > int64_t(parent.x) + parent.width ||
                    y + rect.box.height > int64_t(parent.y) + parent.height)
                    areas.fail(name + ": box " + boxText(rect.box) + " reaches outside its parent, " +
                               mouseName(outer.index, MouseParent));
            }
            if (rect.mouseFlags == 0)
                areas.warn(name + ": mouseFlags is 0; the area answers no mouse action");
            break;
        }
        case MouseTooltipText: {
            const auto length = image.textLength(rect.tooltipText, MaxNameLength);
            if (!length)
                list.fail(name + ": tooltip text is null, outside the module or not NUL-terminated");
            else
                gauge.otherRecords.push_back({rect.tooltipText, *length + 1, name + " tooltip text"});
            if (!rect.data || !image.readable(rect.data, 2 * sizeof(int32_t)))
                list.warn(name + ": data does not point at a record of two words");
            else
                gauge.otherRecords.push_back({rect.data, 2 * sizeof(int32_t), name + " data"});
            break;
        }
        default:
            list.fail(name + ": unknown mouse record kind");
            break;
        }
    }
    if (!ended) {
        list.fail("mouse list: does not end (kind 0) within " + std::to_string(MaxMouseRecords) + " records");
        return;
    }
    if (count > 0 && rects[0].kind != MouseParent)
        list.warn("mouse record 0: the list does not begin with a parent area");
    gauge.mouseRects = rects;
    gauge.mouseRecordCount = count;
    gauge.mouseSound = list.level != Level::Fail;
    gauge.otherRecords.push_back({rects, count * sizeof(MouseRect), "mouse list"});
    // Only a sound list is resolved: its boxes are small enough to add up.
    if (gauge.mouseSound)
        gauge.clickAreas = host::clickAreas(rects, count);
}

} // namespace

size_t elementSize(int32_t kind)
{
    switch (kind) {
    case KindStaticImage: return sizeof(StaticImage);
    case KindNeedle: return sizeof(Needle);
    case KindString: return sizeof(StringElement);
    case KindSlider: return sizeof(Slider);
    case KindIcon: return sizeof(Icon);
    case KindSprite: return sizeof(Sprite);
    default: return 0;
    }
}

std::string elementName(size_t index, const ElementHeader *element)
{
    return "element " + std::to_string(index) + " (" + kindName(element->kind) + ")";
}

static ModuleMap walkModule(ModuleLinkage *linkage, ModuleImports *imports, const ModuleImage &image,
                     std::deque<Check> &checks)
{
    ModuleMap map{linkage, imports, {}};
    checkLinkage(linkage, image, checks);
    checkImports(imports, image, checks);

    Check &list = addCheck(checks, "", "gauge list");
    bool ended = false;
    std::set<std::string> names;
    for (size_t i = 0; i < LinkageGaugeCapacity; ++i) {
        GaugeHeader *header = linkage->gauges[i];
        if (!header) {
            ended = true;
            break;
        }
        if (!image.readable(header, sizeof *header)) {
            list.fail("gauge list entry " + std::to_string(i) + ": header lies outside the module");
            return map;
        }
        const auto length = image.textLength(header->name, MaxNameLength);
        if (!length || *length == 0) {
            list.fail("gauge list entry " + std::to_string(i) + ": name is null, empty, outside the module or " +
                      "not NUL-terminated");
            continue;
        }
        GaugeMap gauge;
        gauge.header = header;
        gauge.name = header->name;
        gauge.otherRecords.push_back({header->name, *length + 1, "gauge name"});
        if (!names.insert(gauge.name).second)
            list.fail("gauge list entry " + std::to_string(i) + ": a second gauge named \"" + gauge.name + "\"");
        map.gauges.push_back(std::move(gauge));
    }
    if (!ended)
        list.fail("gauge list: no null entry within its " + std::to_string(LinkageGaugeCapacity) + " entries");
    if (map.gauges.empty() && ended)
        list.fail("gauge list: holds no gauge");

    for (GaugeMap &gauge : map.gauges) {
        checkHeader(gauge, image, linkage->moduleVersion, checks);
        checkChain(gauge, image, checks);
        checkElements(gauge, image, checks);
        checkMouseList(gauge, image, checks);
    }
    return map;
}

ModuleMap checkStructure(ModuleLinkage *linkage, ModuleImports *imports, const ModuleImage &image,
                         std::vector<Check> &results)
{
    // A deque keeps the references that the checks hold valid as more are added.
    std::deque<Check> checks;
    ModuleMap map = walkModule(linkage, imports, image, checks);
    results.insert(results.end(), checks.begin(), checks.end());
    return map;
}

} // namespace host::validate
