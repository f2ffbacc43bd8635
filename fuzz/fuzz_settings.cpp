// The command line: Settings(argc, argv) as main builds it.
//
// The input is the argument list after the program name, the arguments
// separated by NUL bytes (the layout of /proc/<pid>/cmdline), at most 64 of
// them. The settings summary and the help are printed for every parse that
// returns. The product's own output goes to a sink; getopt_long's diagnostics
// (written by the C library straight to the standard error descriptor, which
// libFuzzer and the sanitizers report on) are turned off with opterr = 0,
// which changes nothing else in getopt_long: unknown options and missing
// values still come back as '?'.
//
// -h, --help and --version (and their unique prefixes, wherever getopt_long
// finds them) end the parse with exit(0). Filtering those out of the input
// would mean predicting getopt_long (abbreviations, bundled letters, option
// values, "--"), so the parse runs unchanged instead and exit is made
// harmless: this target is linked with exit wrapped. While a parse runs, the
// wrapper records the status and jumps back here, where the Settings object
// (whose members are all constructed by then) is destroyed; at any other
// time, libFuzzer's own exit included, it is the real exit. The checks: the
// only status a parse may exit with is 0, and a parse that returns leaves
// the autofs and media paths ending in "/" and the IGEL LX directory at its
// fixed value.
#include <getopt.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "settings/Settings.h"

extern "C" [[noreturn]] void __real_exit(int status);

namespace {

std::jmp_buf g_parseExit;
volatile bool g_inParse = false;
volatile int g_exitStatus = 0;

const size_t kMaxArguments = 64;

bool EndsWithSlash(const std::string& path) { return !path.empty() && path.back() == '/'; }

}  // namespace

extern "C" [[noreturn]] void __wrap_exit(int status)
{
    if (g_inParse) {
        g_inParse = false;
        g_exitStatus = status;
        std::longjmp(g_parseExit, 1);
    }
    __real_exit(status);
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceConsole();
    opterr = 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> arguments = {"TRVMountd"};
    std::string current;
    for (size_t i = 0; i < size && arguments.size() <= kMaxArguments; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (!current.empty() && arguments.size() <= kMaxArguments) {
        arguments.push_back(current);
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    alignas(Settings) static unsigned char storage[sizeof(Settings)];
    Settings* settings = nullptr;
    if (setjmp(g_parseExit) == 0) {
        g_inParse = true;
        settings = new (storage) Settings(static_cast<int>(arguments.size()), argv.data());
        g_inParse = false;
    } else {
        // Help or version: the parse ended in exit.
        FUZZ_CHECK(g_exitStatus == 0, "the parse exited with status " + std::to_string(g_exitStatus));
        reinterpret_cast<Settings*>(storage)->~Settings();
        return 0;
    }

    FUZZ_CHECK(EndsWithSlash(settings->getAutoFSPath()), "autofs path " + settings->getAutoFSPath());
    FUZZ_CHECK(EndsWithSlash(settings->getIgelMediaPath()), "media path " + settings->getIgelMediaPath());
    FUZZ_CHECK(settings->getIgelLXPath() == "/etc/hotplug/usb-storage", "IGEL LX path");
    settings->Print();
    settings->PrintArgHelp();
    settings->~Settings();
    return 0;
}
