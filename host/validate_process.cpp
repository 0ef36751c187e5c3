// Running module code in a child process: the child sends its checks back
// through a pipe; a child that dies or hangs becomes a FAIL that names the
// action it was carrying out.
#include "validate_internal.h"

#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <sstream>

namespace host::validate {
namespace {

constexpr size_t ActionNoteSize = 512;

// Shared with every child forked after it is made, so the parent can read
// what a dead child was doing.
char *actionNote()
{
    static char *note = [] {
        void *memory = mmap(nullptr, ActionNoteSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        return memory == MAP_FAILED ? nullptr : static_cast<char *>(memory);
    }();
    return note;
}

std::string escape(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string unescape(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c;
    }
    return out;
}

std::vector<std::string> fields(const std::string &line)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        parts.push_back(unescape(line.substr(start, tab - start)));
    parts.push_back(unescape(line.substr(start)));
    return parts;
}

std::string serialise(const ChildResult &result)
{
    std::ostringstream out;
    for (const Check &check : result.checks) {
        out << "check\t" << escape(check.gauge) << '\t' << escape(check.name) << '\t' << static_cast<int>(check.level)
            << '\t' << check.findingCount << '\t' << escape(check.detail) << '\n';
        for (const std::string &finding : check.findings)
            out << "finding\t" << escape(finding) << '\n';
    }
    out << "stats\t" << result.stressActions << '\t' << result.stressSeconds << '\t' << result.loadCycles << '\n';
    out << "end\n";
    return out.str();
}

// Reads what serialise wrote; false when the end line is missing.
bool deserialise(const std::string &text, ChildResult &result)
{
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const auto part = fields(line);
        if (part[0] == "check" && part.size() == 6) {
            Check check{.gauge = part[1], .name = part[2], .detail = part[5]};
            check.level = static_cast<Level>(std::stoi(part[3]));
            check.findingCount = std::stoul(part[4]);
            result.checks.push_back(std::move(check));
        } else if (part[0] == "finding" && part.size() == 2 && !result.checks.empty()) {
            result.checks.back().findings.push_back(part[1]);
        } else if (part[0] == "stats" && part.size() == 4) {
            result.stressActions += std::stoul(part[1]);
            result.stressSeconds += std::stod(part[2]);
            result.loadCycles += std::stoul(part[3]);
        } else if (part[0] == "end") {
            return true;
        }
    }
    return false;
}

void writeAll(int fd, const std::string &text)
{
    for (size_t done = 0; done < text.size();) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written <= 0)
            return;
        done += static_cast<size_t>(written);
    }
}

std::string lastAction()
{
    const char *note = actionNote();
    return note && note[0] ? std::string(note, strnlen(note, ActionNoteSize)) : "start-up";
}

Check crashCheck(const std::string &gauge, const std::string &name, const std::string &what, uint64_t seed)
{
    Check check{.gauge = gauge, .name = name};
    check.fail(what + " during: " + lastAction() + "; replay with --seed " + std::to_string(seed));
    return check;
}

} // namespace

void noteAction(const std::string &action)
{
    if (char *note = actionNote()) {
        const size_t length = std::min(action.size(), ActionNoteSize - 1);
        std::memcpy(note, action.data(), length);
        note[length] = '\0';
    }
}

ChildResult runIsolated(const std::function<void(ChildResult &)> &work, bool isolate, unsigned timeoutSeconds,
                        const std::string &gauge, const std::string &crashName, uint64_t seed)
{
    ChildResult result;
    noteAction("start-up");
    if (!isolate) {
        try {
            work(result);
        } catch (const std::exception &error) {
            result.checks.push_back(crashCheck(gauge, crashName, std::string("an exception (") + error.what() + ")", seed));
        }
        return result;
    }

    int channel[2];
    if (pipe(channel) != 0)
        throw std::runtime_error("cannot make a pipe for the child process");
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("cannot start a child process");
    if (child == 0) {
        close(channel[0]);
        ChildResult mine;
        try {
            work(mine);
        } catch (const std::exception &error) {
            mine.checks.push_back(crashCheck(gauge, crashName, std::string("an exception (") + error.what() + ")", seed));
        }
        writeAll(channel[1], serialise(mine));
        close(channel[1]);
        std::fflush(nullptr);
        // Skip the exit handlers: module unloads and leak reports belong to
        // the checks, not to the child's end.
        _exit(0);
    }
    close(channel[1]);

    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd wait{channel[0], POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = read(channel[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    close(channel[0]);
    if (timedOut)
        kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    const bool complete = deserialise(text, result);
    if (timedOut) {
        result.checks.push_back(
            crashCheck(gauge, crashName, "did not finish within " + std::to_string(timeoutSeconds) + " s", seed));
    } else if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        result.checks.push_back(crashCheck(
            gauge, crashName, "crashed on signal " + std::to_string(signal) + " (" + strsignal(signal) + ")", seed));
    } else if (!complete || WEXITSTATUS(status) != 0) {
        result.checks.push_back(crashCheck(
            gauge, crashName, "stopped early with exit status " + std::to_string(WEXITSTATUS(status)), seed));
    }
    return result;
}

} // namespace host::validate
