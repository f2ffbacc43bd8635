// The registry file (/etc/ZentrixVivozo/Settings.ini; here a file in the
// scratch directory that Registry::RegistryFile points at).
//
// The input is the file. It is read through Registry::GetString, as the
// monitor base reads TRVMountdDEVPath, and through Registry::GetNumber, with
// a few value names: TRVMountdDEVPath in two letter cases, and the text before
// the first "=" of the input's first line. The checks follow the reader's
// rules: every Registry object sees the same values whatever key it was made
// for (the factories' keys included), and GetNumber gives the value when it
// is a decimal number that fits 32 bits (blanks before the digits allowed,
// text after them ignored) and the default otherwise, also when the name is
// absent.
//
// The logger is switched on with its records going to /dev/null, so the values
// the reader traces pass through the record writer as well.
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "TargetSetup.h"
#include "config/Registry.h"

namespace {

std::string g_registryFile;

// The number rule, written out: blanks and tabs, then decimal digits up to
// 4294967295; anything else gives the default.
DWORD_VKT ExpectedNumber(const char* text, DWORD_VKT defaultValue)
{
    if (text == nullptr) {
        return defaultValue;
    }
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    if (*text < '0' || *text > '9') {
        return defaultValue;
    }
    unsigned long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<unsigned>(*text - '0');
        if (value > 0xFFFFFFFFull) {
            return defaultValue;
        }
    }
    return static_cast<DWORD_VKT>(value);
}

void CheckName(const std::string& name)
{
    Registry daemonKey(HKEY_LOCAL_MACHINE, "NA", Registry::Normal);
    const std::string first = daemonKey.GetString(name.c_str(), "/tmp/.VKTMassStorageInfo/");
    const std::string second = daemonKey.GetString(name.c_str(), "");
    // Present when either lookup differs from its default.
    const bool present = first != "/tmp/.VKTMassStorageInfo/" || !second.empty();
    FUZZ_CHECK(!present || first == second, "two lookups of one name differ");

    const std::unique_ptr<Registry> other = Registry::RemoteExtensionServerKey(Registry::Force32bit);
    FUZZ_CHECK(other->GetString(name.c_str(), "/tmp/.VKTMassStorageInfo/") == first, "keys see different values");
    const std::unique_ptr<Registry> third = Registry::TRVClientExtensionKey(Registry::Normal);
    FUZZ_CHECK(third->GetString(name.c_str(), "") == second, "keys see different values");

    for (const DWORD_VKT defaultValue : {DWORD_VKT(0), DWORD_VKT(7), DWORD_VKT(0xFFFFFFFFu)}) {
        const DWORD_VKT number = daemonKey.GetNumber(name.c_str(), defaultValue);
        const DWORD_VKT expected = ExpectedNumber(present ? first.c_str() : nullptr, defaultValue);
        FUZZ_CHECK(number == expected, "GetNumber gave " + std::to_string(number) + ", expected " +
                                           std::to_string(expected));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceConsole();
    const std::string& scratch = fuzz::ScratchDir("registry");
    fuzz::TraceToDevNull(scratch);
    g_registryFile = scratch + "/Settings.ini";
    Registry::RegistryFile = g_registryFile.c_str();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::WriteFile(g_registryFile, data, size);
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string firstLine;
    std::string rest;
    fuzz::SplitFirstLine(text, firstLine, rest);

    CheckName("TRVMountdDEVPath");
    CheckName("trvmountddevpath");
    const std::string own = firstLine.substr(0, firstLine.find('='));
    // A value name is a C string: the name ends at its first NUL.
    CheckName(own.c_str());
    return 0;
}
