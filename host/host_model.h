// What the substitute host knows of the aircraft: the host variables the
// gauges read, by number and name, and what each key event the gauges send
// does to them. One table each, in host_model.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace host {

class Host;
struct KeyEvent;

struct VariableInfo {
    int32_t id;
    const char *name;
    bool int32; // kept as an integer; reaches a module as int32
    const char *meaning;
};

struct KeyEventInfo {
    uint32_t id;
    const char *name;
    const char *effect;
    void (*apply)(Host &host, double parameter);
};

const std::vector<VariableInfo> &knownVariables();
const std::vector<KeyEventInfo> &knownKeyEvents();

// A variable by number (decimal or 0x hex) or by name; nullopt when the host
// has no such variable.
std::optional<int32_t> findVariable(const std::string &word);
const VariableInfo *variableInfo(int32_t id);

// Applies a key event to the host variables; unknown events change nothing.
void applyKeyEvent(Host &host, const KeyEvent &event);

// Host variables the key events drive that no gauge reads.
constexpr int32_t FlapsHandleVariable = 0x9c;

} // namespace host
