// The host's scripting: one command per line, run against one Host, each
// result printed as one JSON line.
#pragma once

#include "host.h"

#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace host {

// A script error; the runner adds the file and line.
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Numbers as scripts write them: decimal, or hexadecimal after 0x.
int64_t parseInteger(const std::string &word);
// A value: a number, nan, inf, -inf or -0.0.
double parseValue(const std::string &word);

class ScriptRunner {
public:
    using Arguments = std::vector<std::string>;
    using Handler = std::function<void(ScriptRunner &, const Arguments &)>;

    ScriptRunner(Host &host, std::ostream &out);

    // Adds or replaces a command; usage is shown when the arguments are wrong.
    void addCommand(const std::string &name, std::string usage, Handler handler);

    // Runs every line of in. Returns 0, or 1 after printing "name:line:
    // message" to err at the first failing line.
    int run(std::istream &in, const std::string &name, std::ostream &err);

    Host &host() { return *host_; }
    std::ostream &out() { return *out_; }
    // The current module and gauge; they throw ScriptError when there is none.
    Module &module();
    GaugeInstance &gauge();
    void setModule(Module &module) { module_ = &module; }
    void setGauge(GaugeInstance &gauge) { gauge_ = &gauge; }

    // Frames per second of the script's time (18 unless it says otherwise).
    double frameRate() const { return frameRate_; }
    void setFrameRate(double rate) { frameRate_ = rate; }
    // One host frame of every gauge, then whatever watches the frames.
    void runFrame();
    // Called after every frame the script runs (a recording); null for none.
    void setFrameWatcher(std::function<void()> watcher) { frameWatcher_ = std::move(watcher); }
    bool watchingFrames() const { return static_cast<bool>(frameWatcher_); }

    // Runs one command as a script line would.
    void runCommand(const std::string &name, const Arguments &arguments);

    // Files a script writes are taken relative to this folder; empty means
    // the working folder.
    void setOutputFolder(std::string folder) { outputFolder_ = std::move(folder); }
    std::string outputPath(const std::string &path) const;

    // Checks the argument count against a command's usage.
    void expectArguments(const Arguments &arguments, size_t least, size_t most) const;

    // Prints the gauge's last evaluation as one JSON line.
    void printEvaluation(GaugeInstance &gauge);

private:
    struct Command {
        std::string usage;
        Handler handler;
    };
    Host *host_;
    std::ostream *out_;
    Module *module_ = nullptr;
    GaugeInstance *gauge_ = nullptr;
    std::map<std::string, Command> commands_;
    const Command *current_ = nullptr;
    std::string outputFolder_;
    double frameRate_ = 18.0;
    std::function<void()> frameWatcher_;
};

// Adds the commands of scripted time: rate, frame, wait, ramp, lights,
// select and repeat (timeline.cpp).
void registerTimeCommands(ScriptRunner &script);

} // namespace host
