// The module validator behind `gaugehost validate`: checks a module's records
// without running its code, then drives every gauge with seeded random host
// actions under invariants, then loads and unloads the module many times.
// Each run of module code happens in a child process, so a crash, a hang or a
// sanitizer report becomes a FAIL naming the action, not the validator's end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace host::validate {

enum class Level { Pass, Warn, Fail };

const char *levelName(Level level); // "PASS", "WARN", "FAIL"

// One check of one module or one of its gauges. A check passes unless it
// gathered findings; each finding names the record or action at fault.
struct Check {
    std::string gauge; // empty for the checks of the module as a whole
    std::string name;  // "chain", "mouse list", "stress: records unchanged", ...
    Level level = Level::Pass;
    std::string detail;                // what was measured or why skipped
    std::vector<std::string> findings; // at most MaxFindings kept
    size_t findingCount = 0;           // all of them

    static constexpr size_t MaxFindings = 8;

    void fail(const std::string &finding) { add(Level::Fail, finding); }
    void warn(const std::string &finding) { add(Level::Warn, finding); }
    void add(Level level, const std::string &finding);
};

struct Options {
    uint64_t seed = 0;            // every random choice follows from it
    size_t actions = 4000;        // random actions per gauge and pass
    size_t instances = 3;         // instances of each gauge shown at once
    size_t loadCycles = 60;       // load, use and unload cycles per module
    bool isolate = true;          // run module code in child processes
    unsigned timeoutSeconds = 300; // a child silent this long has hung
};

struct ModuleReport {
    std::string path;
    std::vector<Check> checks;
};

struct Report {
    uint64_t seed = 0;
    std::vector<ModuleReport> modules;
    size_t stressActions = 0;   // random actions carried out, all gauges
    double stressSeconds = 0.0; // time they took, invariant checks included
    size_t loadCycles = 0;      // load, use, unload cycles carried out

    bool failed() const;
    size_t count(Level level) const;
};

// Validates each module file in turn.
Report validateModules(const std::vector<std::string> &paths, const Options &options);

void printText(const Report &report, std::ostream &out);
void printJson(const Report &report, std::ostream &out);

// gaugehost validate [--seed N] [--json] [--actions N] [--instances N]
//                    [--cycles N] [--no-fork] MODULE...
// Exit status 0 when no check failed, 1 when one did, 2 on a usage error.
int validateCommand(int argc, char **argv);

} // namespace host::validate
