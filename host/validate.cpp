// The validator's driver: runs the checks of each module in child processes,
// gathers them into one report and prints it as text or JSON.
#include "validate_internal.h"

#include "json.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <random>

namespace host::validate {

const char *levelName(Level level)
{
    switch (level) {
    case Level::Pass: return "PASS";
    case Level::Warn: return "WARN";
    case Level::Fail: return "FAIL";
    }
    return "?";
}

void Check::add(Level findingLevel, const std::string &finding)
{
    if (findingLevel > level)
        level = findingLevel;
    if (findings.size() < MaxFindings)
        findings.push_back(finding);
    ++findingCount;
}

bool Report::failed() const
{
    return count(Level::Fail) > 0;
}

size_t Report::count(Level level) const
{
    size_t total = 0;
    for (const ModuleReport &module : modules)
        for (const Check &check : module.checks)
            total += check.level == level;
    return total;
}

namespace {

void absorb(Report &report, ModuleReport &module, ChildResult &&result)
{
    for (Check &check : result.checks)
        module.checks.push_back(std::move(check));
    report.stressActions += result.stressActions;
    report.stressSeconds += result.stressSeconds;
    report.loadCycles += result.loadCycles;
}

// The gauges the structure walk found, in list order.
std::vector<std::string> gaugeNames(const ModuleReport &module)
{
    std::vector<std::string> names;
    for (const Check &check : module.checks)
        if (check.name == "header" && std::find(names.begin(), names.end(), check.gauge) == names.end())
            names.push_back(check.gauge);
    return names;
}

bool loaded(const ModuleReport &module)
{
    for (const Check &check : module.checks)
        if (check.name == "load" && check.level == Level::Fail)
            return false;
    return true;
}

// Module checks first, then each gauge's, in gauge list order.
void order(ModuleReport &module)
{
    const std::vector<std::string> names = gaugeNames(module);
    auto rank = [&](const Check &check) -> size_t {
        if (check.gauge.empty())
            return 0;
        return 1 + static_cast<size_t>(std::find(names.begin(), names.end(), check.gauge) - names.begin());
    };
    std::stable_sort(module.checks.begin(), module.checks.end(),
                     [&](const Check &a, const Check &b) { return rank(a) < rank(b); });
}

} // namespace

Report validateModules(const std::vector<std::string> &paths, const Options &options)
{
    Report report;
    report.seed = options.seed;
    for (const std::string &path : paths) {
        ModuleReport module{path, {}};
        absorb(report, module,
               runIsolated([&](ChildResult &result) { structureChild(path, result); }, options.isolate,
                           options.timeoutSeconds, "", "load", options.seed));
        if (loaded(module)) {
            for (const std::string &gauge : gaugeNames(module))
                absorb(report, module,
                       runIsolated([&](ChildResult &result) { behaviourChild(path, gauge, options, result); },
                                   options.isolate, options.timeoutSeconds, gauge, "stress: no crash", options.seed));
            absorb(report, module,
                   runIsolated([&](ChildResult &result) { loadCycleChild(path, options, result); }, options.isolate,
                               options.timeoutSeconds, "", "load cycling", options.seed));
        }
        order(module);
        report.modules.push_back(std::move(module));
    }
    return report;
}

// ---------------------------------------------------------------- output

void printText(const Report &report, std::ostream &out)
{
    for (const ModuleReport &module : report.modules) {
        out << module.path << "\n";
        std::string gauge;
        for (const Check &check : module.checks) {
            if (check.gauge != gauge) {
                gauge = check.gauge;
                out << "  gauge \"" << gauge << "\"\n";
            }
            const std::string indent = gauge.empty() ? "  " : "    ";
            out << indent << levelName(check.level) << "  " << check.name;
            if (!check.detail.empty())
                out << " (" << check.detail << ")";
            out << "\n";
            for (const std::string &finding : check.findings)
                out << indent << "      " << finding << "\n";
            if (check.findingCount > check.findings.size())
                out << indent << "      ... and " << check.findingCount - check.findings.size() << " more\n";
        }
    }
    const size_t total = report.count(Level::Pass) + report.count(Level::Warn) + report.count(Level::Fail);
    const double rate = report.stressSeconds > 0 ? report.stressActions / report.stressSeconds : 0.0;
    out << total << " checks: " << report.count(Level::Pass) << " passed, " << report.count(Level::Warn)
        << " warnings, " << report.count(Level::Fail) << " failed\n";
    out << "stress: " << report.stressActions << " actions in " << report.stressSeconds << " s ("
        << static_cast<long long>(rate) << " actions/s); load cycles: " << report.loadCycles << "\n";
    out << "seed " << report.seed << " (replay with --seed " << report.seed << ")\n";
}

void printJson(const Report &report, std::ostream &out)
{
    out << "{\"seed\":" << report.seed << ",\"modules\":[";
    for (size_t m = 0; m < report.modules.size(); ++m) {
        const ModuleReport &module = report.modules[m];
        out << (m ? "," : "") << "{\"path\":" << json::string(module.path) << ",\"checks\":[";
        for (size_t c = 0; c < module.checks.size(); ++c) {
            const Check &check = module.checks[c];
            out << (c ? "," : "") << "{\"gauge\":" << json::string(check.gauge)
                << ",\"check\":" << json::string(check.name) << ",\"result\":\"" << levelName(check.level) << "\"";
            if (!check.detail.empty())
                out << ",\"detail\":" << json::string(check.detail);
            out << ",\"findingCount\":" << check.findingCount << ",\"findings\":[";
            for (size_t f = 0; f < check.findings.size(); ++f)
                out << (f ? "," : "") << json::string(check.findings[f]);
            out << "]}";
        }
        out << "]}";
    }
    const double rate = report.stressSeconds > 0 ? report.stressActions / report.stressSeconds : 0.0;
    out << "],\"summary\":{\"passed\":" << report.count(Level::Pass) << ",\"warnings\":" << report.count(Level::Warn)
        << ",\"failed\":" << report.count(Level::Fail) << ",\"stressActions\":" << report.stressActions
        << ",\"stressSeconds\":" << json::number(report.stressSeconds)
        << ",\"actionsPerSecond\":" << json::number(rate) << ",\"loadCycles\":" << report.loadCycles << "}}\n";
}

// ---------------------------------------------------------------- command

namespace {

int usage()
{
    std::cerr << "usage: gaugehost validate [--seed N] [--json] [--actions N] [--instances N] [--cycles N]\n"
                 "                          [--timeout S] [--no-fork] MODULE...\n";
    return 2;
}

bool parseCount(const char *text, uint64_t &value)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 0);
    return errno == 0 && *end == '\0' && text[0] != '-';
}

} // namespace

int validateCommand(int argc, char **argv)
{
    Options options;
    bool json = false;
    bool seeded = false;
    std::vector<std::string> paths;
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        uint64_t value = 0;
        auto next = [&](uint64_t &into) { return i + 1 < argc && parseCount(argv[++i], into); };
        if (argument == "--json") {
            json = true;
        } else if (argument == "--no-fork") {
            options.isolate = false;
        } else if (argument == "--seed") {
            if (!next(value))
                return usage();
            options.seed = value;
            seeded = true;
        } else if (argument == "--actions" || argument == "--instances" || argument == "--cycles" ||
                   argument == "--timeout") {
            if (!next(value))
                return usage();
            if (argument == "--actions")
                options.actions = value;
            else if (argument == "--instances")
                options.instances = std::max<uint64_t>(value, 1);
            else if (argument == "--cycles")
                options.loadCycles = value;
            else
                options.timeoutSeconds = static_cast<unsigned>(std::max<uint64_t>(value, 1));
        } else if (argument.rfind("--", 0) == 0) {
            std::cerr << "gaugehost validate: unknown option " << argument << "\n";
            return usage();
        } else {
            paths.push_back(argument);
        }
    }
    if (paths.empty())
        return usage();
    if (!seeded)
        options.seed = std::random_device{}() % 1000000;

    const Report report = validateModules(paths, options);
    if (json)
        printJson(report, std::cout);
    else
        printText(report, std::cout);
    return report.failed() ? 1 : 0;
}

} // namespace host::validate
