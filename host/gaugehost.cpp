// gaugehost: the substitute host as a command-line bench for gauge modules.
#include "host.h"
#include "script.h"
#ifndef GAUGEHOST_SCRIPTS_ONLY
#include "demo.h"
#include "resource_commands.h"
#include "validate.h"
#endif

#include <cstring>
#include <fstream>
#include <iostream>
#include <vector>

#ifdef GAUGEHOST_X86_EMULATOR
#include "emulated_backend.h"
#include "module_backend.h"
#endif

namespace {

// --emulate-x86 runs every module of the command under the x86 emulator:
// the 32-bit Windows builds (i686 .gau files), on any machine.
constexpr const char *EmulateFlag = "--emulate-x86";

bool selectEmulator()
{
#ifdef GAUGEHOST_X86_EMULATOR
    host::setDefaultBackend(host::emu::makeEmulatedBackend);
    return true;
#else
    std::cerr << "gaugehost: " << EmulateFlag << ": this gaugehost was built without the x86 emulator "
              << "(install libunicorn-dev and build again)\n";
    return false;
#endif
}

// gaugehost run SCRIPT: runs a script of host actions ("-" reads standard input).
int runCommand(int argc, char **argv)
{
    if (argc != 1) {
        std::cerr << "usage: gaugehost run SCRIPT\n";
        return 2;
    }
    const std::string path = argv[0];
    std::ifstream file;
    std::istream *in = &std::cin;
    if (path != "-") {
        file.open(path);
        if (!file) {
            std::cerr << path << ": cannot open the script\n";
            return 1;
        }
        in = &file;
    }
    host::Host host;
    host::ScriptRunner script(host, std::cout);
#ifndef GAUGEHOST_SCRIPTS_ONLY
    host::registerPanelCommands(script);
#endif
    return script.run(*in, path == "-" ? "<stdin>" : path, std::cerr);
}

struct Command {
    const char *name;
    int (*main)(int argc, char **argv);
    const char *summary;
};

const Command Commands[] = {
    {"run", runCommand, "run SCRIPT        run a script of host actions (- for standard input)"},
#ifndef GAUGEHOST_SCRIPTS_ONLY // the Windows build
    {"demo", host::demoCommand, "demo [OUTDIR]     fly the demonstration over the default panel; pictures to OUTDIR"},
    {"validate", host::validate::validateCommand, "validate MODULE.. check modules' records and behaviour (--seed N, --json)"},
    {"resources", resourcesCommand, "resources MODULE  list the bitmaps a module file carries"},
    {"bitmap", bitmapCommand, "bitmap MODULE ID OUT.png  write one of a module's bitmaps as PNG"},
    {"sheet", sheetCommand, "sheet MODULE OUT.png  write a contact sheet of a module's bitmaps"},
#endif
};

int usage()
{
    std::cerr << "usage: gaugehost [--emulate-x86] COMMAND ...\n";
    for (const Command &command : Commands)
        std::cerr << "  " << command.summary << "\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    // The emulator flag may stand before or after the command's name.
    std::vector<char *> arguments(argv, argv + argc);
    for (auto flag = arguments.begin() + 1; flag != arguments.end();) {
        if (std::strcmp(*flag, EmulateFlag) != 0) {
            ++flag;
            continue;
        }
        if (!selectEmulator())
            return 2;
        flag = arguments.erase(flag);
    }
    argc = static_cast<int>(arguments.size());
    argv = arguments.data();
    if (argc < 2)
        return usage();
    for (const Command &command : Commands)
        if (std::strcmp(argv[1], command.name) == 0)
            return command.main(argc - 2, argv + 2);
    std::cerr << "gaugehost: unknown command \"" << argv[1] << "\"\n";
    return usage();
}
