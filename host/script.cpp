#include "script.h"

#include "host_model.h"
#include "json.h"
#include "module_backend.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <sstream>

namespace host {

int64_t parseInteger(const std::string &word)
{
    const bool negative = !word.empty() && word[0] == '-';
    const std::string digits = negative ? word.substr(1) : word;
    const bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    const std::string body = hex ? digits.substr(2) : digits;
    if (body.empty() || body.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        throw ScriptError("\"" + word + "\" is not a whole number");
    errno = 0;
    const unsigned long long magnitude = std::strtoull(body.c_str(), nullptr, hex ? 16 : 10);
    if (errno == ERANGE || magnitude > (negative ? 0x8000000000000000ull : 0x7fffffffffffffffull))
        throw ScriptError("\"" + word + "\" is out of range");
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

double parseValue(const std::string &word)
{
    if (word == "nan")
        return std::nan("");
    if (word == "-nan")
        return -std::nan("");
    if (word == "inf")
        return INFINITY;
    if (word == "-inf")
        return -INFINITY;
    const std::string digits = !word.empty() && word[0] == '-' ? word.substr(1) : word;
    if (digits.size() > 1 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        return static_cast<double>(parseInteger(word));
    if (digits.empty() || digits.find_first_not_of("0123456789.eE+-") != std::string::npos)
        throw ScriptError("\"" + word + "\" is not a number");
    char *end = nullptr;
    const double value = std::strtod(word.c_str(), &end);
    if (end != word.c_str() + word.size())
        throw ScriptError("\"" + word + "\" is not a number");
    return value;
}

namespace {

int32_t parseInt32(const std::string &word)
{
    const int64_t value = parseInteger(word);
    if (value < INT32_MIN || value > INT32_MAX)
        throw ScriptError("\"" + word + "\" does not fit 32 bits");
    return static_cast<int32_t>(value);
}

uint32_t parseUint32(const std::string &word)
{
    const int64_t value = parseInteger(word);
    if (value < INT32_MIN || value > UINT32_MAX)
        throw ScriptError("\"" + word + "\" does not fit 32 bits");
    return static_cast<uint32_t>(value);
}

std::string rootName(const ElementHeader *root)
{
    if (root && root->gauge && root->gauge->name)
        return root->gauge->name;
    return root ? "?" : "null";
}

// A drawn angle to four decimals, so that scripts compare it the same on
// every platform's maths library.
double printedAngle(double angle)
{
    return std::round(angle * 1e4) / 1e4 + 0.0;
}

void moduleCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 1, 1);
    script.setModule(script.host().loadModule(arguments[0]));
}

void gaugeCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 1, 1);
    script.setGauge(script.host().createGauge(script.module(), arguments[0]));
}

void setCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 2, 2);
    const auto variable = findVariable(arguments[0]);
    if (!variable)
        throw ScriptError("unknown host variable \"" + arguments[0] + "\"");
    script.host().variables().set(*variable, parseValue(arguments[1]));
}

void serviceCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 1, 1);
    script.host().service(script.gauge(), parseInt32(arguments[0]));
}

void evalCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 0, 0);
    script.host().evaluate(script.gauge());
    script.printEvaluation(script.gauge());
}

void showCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 0, 0);
    script.printEvaluation(script.gauge());
}

void clickCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 2, 2);
    const int32_t x = parseInt32(arguments[0]);
    const int32_t y = parseInt32(arguments[1]);
    const auto events = script.host().click(script.gauge(), x, y);
    std::string line = "{\"click\":[" + std::to_string(x) + "," + std::to_string(y) + "],\"events\":[";
    for (size_t i = 0; i < events.size(); ++i) {
        line += i ? "," : "";
        line += "{\"id\":" + std::to_string(events[i].id) + ",\"param\":" + std::to_string(events[i].parameter) + "}";
    }
    script.out() << line << "]}\n";
}

void routineCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 1, 2);
    const uint32_t argument = arguments.size() > 1 ? parseUint32(arguments[1]) : 0;
    const auto calls = script.host().routine(script.gauge(), arguments[0], argument);
    std::string line = "{\"routine\":" + json::string(arguments[0]) + ",\"calls\":[";
    for (size_t i = 0; i < calls.size(); ++i) {
        line += i ? "," : "";
        line += "{\"entry\":" + json::string(calls[i].entry) + ",\"root\":" + json::string(rootName(calls[i].root));
        if (calls[i].hasArgument)
            line += ",\"arg\":" + std::to_string(calls[i].argument);
        line += "}";
    }
    script.out() << line << "]}\n";
}

void libraryCommand(ScriptRunner &script, const ScriptRunner::Arguments &arguments)
{
    script.expectArguments(arguments, 1, 1);
    const bool loaded = script.host().backend().libraryLoaded(arguments[0]);
    script.out() << "{\"library\":" << json::string(arguments[0]) << ",\"loaded\":" << (loaded ? "true" : "false")
                 << "}\n";
}

} // namespace

ScriptRunner::ScriptRunner(Host &host, std::ostream &out) : host_(&host), out_(&out)
{
    addCommand("module", "module PATH", moduleCommand);
    addCommand("gauge", "gauge NAME", gaugeCommand);
    addCommand("set", "set VAR VALUE (VAR a number or a name)", setCommand);
    addCommand("service", "service N", serviceCommand);
    addCommand("eval", "eval", evalCommand);
    addCommand("show", "show", showCommand);
    addCommand("click", "click X Y", clickCommand);
    addCommand("routine", "routine NAME [ARG]", routineCommand);
    addCommand("library", "library NAME", libraryCommand);
    registerTimeCommands(*this);
}

void ScriptRunner::addCommand(const std::string &name, std::string usage, Handler handler)
{
    commands_[name] = Command{std::move(usage), std::move(handler)};
}

Module &ScriptRunner::module()
{
    if (!module_)
        throw ScriptError("no module loaded yet (use: module PATH)");
    return *module_;
}

GaugeInstance &ScriptRunner::gauge()
{
    if (!gauge_)
        throw ScriptError("no gauge created yet (use: gauge NAME)");
    return *gauge_;
}

void ScriptRunner::runCommand(const std::string &name, const Arguments &arguments)
{
    const auto found = commands_.find(name);
    if (found == commands_.end())
        throw ScriptError("unknown command \"" + name + "\"");
    const Command *outer = current_;
    current_ = &found->second;
    found->second.handler(*this, arguments);
    current_ = outer;
}

void ScriptRunner::runFrame()
{
    host_->frame();
    if (frameWatcher_)
        frameWatcher_();
}

std::string ScriptRunner::outputPath(const std::string &path) const
{
    if (outputFolder_.empty() || path.empty() || path[0] == '/')
        return path;
    return outputFolder_ + "/" + path;
}

void ScriptRunner::expectArguments(const Arguments &arguments, size_t least, size_t most) const
{
    if (arguments.size() < least || arguments.size() > most)
        throw ScriptError("wrong arguments; usage: " + (current_ ? current_->usage : std::string("?")));
}

void ScriptRunner::printEvaluation(GaugeInstance &gauge)
{
    std::string line = "{\"gauge\":" + json::string(gauge.name()) + ",\"elements\":[";
    const auto &elements = gauge.elements();
    for (size_t i = 0; i < elements.size(); ++i) {
        const ElementState &state = elements[i];
        const ElementHeader &element = *state.element;
        line += i ? "," : "";
        line += "{\"index\":" + std::to_string(i) + ",\"kind\":\"" + kindName(element.kind) +
                "\",\"resourceId\":" + std::to_string(element.resourceId) +
                ",\"hidden\":" + ((element.imageFlags & HiddenFlag) ? "true" : "false");
        switch (element.kind) {
        case KindNeedle:
            line += ",\"value\":" + json::number(state.value) + ",\"angle\":" + json::number(printedAngle(state.angle));
            break;
        case KindIcon:
            line += ",\"value\":" + json::number(state.value);
            break;
        case KindString:
            line += ",\"value\":" + json::number(state.value) + ",\"text\":" + json::string(state.text);
            break;
        case KindSlider:
            line += ",\"x\":" + json::number(state.x) + ",\"y\":" + json::number(state.y);
            break;
        case KindSprite:
            line += ",\"x\":" + json::number(state.x) + ",\"y\":" + json::number(state.y) +
                    ",\"rotation\":" + json::number(state.rotation);
            break;
        default:
            break;
        }
        line += "}";
    }
    *out_ << line << "]}\n";
}

int ScriptRunner::run(std::istream &in, const std::string &name, std::ostream &err)
{
    std::string text;
    for (int lineNumber = 1; std::getline(in, text); ++lineNumber) {
        if (const auto hash = text.find('#'); hash != std::string::npos)
            text.erase(hash);
        std::istringstream words(text);
        std::string command;
        if (!(words >> command))
            continue;
        Arguments arguments;
        for (std::string word; words >> word;)
            arguments.push_back(word);
        try {
            runCommand(command, arguments);
        } catch (const std::exception &error) {
            out_->flush();
            err << name << ":" << lineNumber << ": " << error.what() << "\n";
            return 1;
        }
    }
    out_->flush();
    return 0;
}

} // namespace host
