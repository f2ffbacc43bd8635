#include "settings/Settings.h"

#include <getopt.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

const char kVersion[] = TRV_VERSION_TEXT;

const char kDefaultLinkPathTRV[] = "/tmp/ZentrixTRV";
const char kDefaultLinkPathSV[] = "/tmp/ZentrixSilvenmar";
const char kDefaultIgelLXPath[] = "/etc/hotplug/usb-storage";
const char kDefaultIgelMediaPath[] = "/media";
const char kDefaultAutoFSPath[] = "/autofs";

const char kShortOptions[] = "i:a:e:l:s:m:c:p:vhukfd";

// Every long option reports itself as 0 and is mapped back to its letter by
// name; "version" gets a letter the short options do not accept, so -x stays
// an unrecognised option.
struct LongOption {
    option entry;
    char letter;
};

const LongOption kLongOptions[] = {
    {{"mode", required_argument, nullptr, 0}, 'm'},
    {{"config_file", required_argument, nullptr, 0}, 'c'},
    {{"mount_path", required_argument, nullptr, 0}, 'p'},
    {{"link_path", required_argument, nullptr, 0}, 'l'},
    {{"link_path_silvenmar", required_argument, nullptr, 0}, 's'},
    {{"elux_usb_dir", required_argument, nullptr, 0}, 'e'},
    {{"version", no_argument, nullptr, 0}, 'x'},
    {{"ud3", no_argument, nullptr, 0}, 'u'},
    {{"autofspath", required_argument, nullptr, 0}, 'a'},
    {{"igelmediapath", required_argument, nullptr, 0}, 'i'},
    {{"keep_link", no_argument, nullptr, 0}, 'k'},
    {{"force_remove", no_argument, nullptr, 0}, 'f'},
    {{"use_usb_ids", no_argument, nullptr, 0}, 'd'},
    {{"help", no_argument, nullptr, 0}, 'h'},
};
constexpr size_t kLongOptionCount = sizeof(kLongOptions) / sizeof(kLongOptions[0]);

struct GetoptTable {
    option entries[kLongOptionCount + 1];
    GetoptTable()
    {
        for (size_t i = 0; i < kLongOptionCount; ++i) {
            entries[i] = kLongOptions[i].entry;
        }
        entries[kLongOptionCount] = option{nullptr, 0, nullptr, 0};
    }
};

char letterOfLongOption(const char* name)
{
    for (const LongOption& row : kLongOptions) {
        if (std::strcmp(row.entry.name, name) == 0) {
            return row.letter;
        }
    }
    return '?';
}

// An empty path value stands for the built-in default, so the normalisation
// below always has a last character to look at and no link is ever made at
// an empty (working-directory relative) name.
std::string pathOrDefault(const char* value, const char* builtIn)
{
    return *value == '\0' ? std::string(builtIn) : std::string(value);
}

// The mode as a decimal number; one too large for an int is no mode at all
// rather than a value that wraps into a valid one.
int ModeOf(const char* value)
{
    const long mode = std::strtol(value, nullptr, 10);
    return mode < INT_MIN || mode > INT_MAX ? 0 : static_cast<int>(mode);
}

const char* stateText(bool enabled) { return enabled ? "enabled" : "disabled"; }

bool endsWithSlash(const std::string& path) { return !path.empty() && path.back() == '/'; }

}  // namespace

Settings::Settings() = default;

Settings::Settings(int argc, char** argv)
    : m_sLinkPath_TRV(kDefaultLinkPathTRV),
      m_sLinkPath_SV(kDefaultLinkPathSV),
      m_sIgelLXPath(kDefaultIgelLXPath),
      m_sIgelMediaPath(kDefaultIgelMediaPath),
      m_sAutoFSPath(kDefaultAutoFSPath)
{
    static const GetoptTable table;
    // 0 makes glibc reinitialise getopt completely, so a second command line
    // in the same process is parsed from its start.
    optind = 0;
    for (;;) {
        int index = 0;
        const int result = getopt_long(argc, argv, kShortOptions, table.entries, &index);
        if (result == -1) {
            break;
        }
        if (result == '?') {
            continue;  // getopt_long has already reported it
        }
        const char letter = result == 0 ? letterOfLongOption(table.entries[index].name) : static_cast<char>(result);
        Apply(letter, optarg);
    }
    Normalise();
    Warn();
    if (m_bVerbose) {
        Print();
    }
}

void Settings::Apply(char option, const char* value)
{
    switch (option) {
    case 'm': m_iMode = ModeOf(value); break;
    case 'c': m_sConfigFile = value; break;
    case 'p': m_sMountPath = value; break;
    case 'l': m_sLinkPath_TRV = pathOrDefault(value, kDefaultLinkPathTRV); break;
    case 's': m_sLinkPath_SV = pathOrDefault(value, kDefaultLinkPathSV); break;
    case 'e': m_sEluxUSBPath = value; break;
    case 'x':
        std::cout << "TRVMount v" << kVersion << std::endl;
        std::exit(0);
    case 'u': m_bIgelUD3 = true; break;
    case 'a': m_sAutoFSPath = pathOrDefault(value, kDefaultAutoFSPath); break;
    case 'i': m_sIgelMediaPath = pathOrDefault(value, kDefaultIgelMediaPath); break;
    case 'k': m_bKeepDirectory = true; break;
    case 'f': m_bForceRemove = true; break;
    case 'd': m_bUseRealDeviceIDs = true; break;
    case 'h':
        PrintArgHelp();
        std::exit(0);
    case 'v': m_bVerbose = true; break;
    default: break;
    }
}

void Settings::Normalise()
{
    // Only one slash goes: "/tmp/link//" keeps one.
    for (std::string* linkPath : {&m_sLinkPath_TRV, &m_sLinkPath_SV}) {
        if (endsWithSlash(*linkPath)) {
            linkPath->pop_back();
        }
    }
    for (std::string* directory : {&m_sAutoFSPath, &m_sIgelMediaPath}) {
        if (!endsWithSlash(*directory)) {
            directory->push_back('/');
        }
    }
}

void Settings::Warn() const
{
    if (m_iMode != 1 && !m_sEluxUSBPath.empty()) {
        std::cerr << "Warning: Elux USB path is used only in EluxNG mode(-m 1)" << std::endl;
    }
    if (m_bIgelUD3 && m_iMode != 2) {
        std::cerr << "Warning: Igel UD3 is used only useable with mode 2(-m 2)" << std::endl;
    }
}

int Settings::getMode() const { return m_iMode; }
std::string Settings::getLinkPath_TRV() const { return m_sLinkPath_TRV; }
std::string Settings::getLinkPath_SV() const { return m_sLinkPath_SV; }
std::string Settings::getEluxUSBPath() const { return m_sEluxUSBPath; }
std::string Settings::getIgelLXPath() const { return m_sIgelLXPath; }
std::string Settings::getIgelMediaPath() const { return m_sIgelMediaPath; }
bool Settings::getIgelUD3Mode() const { return m_bIgelUD3; }
std::string Settings::getAutoFSPath() const { return m_sAutoFSPath; }
bool Settings::getKeepDirectory() const { return m_bKeepDirectory; }
bool Settings::getForceRemoveLinkPath() const { return m_bForceRemove; }
bool Settings::getUseRealUSBIds() const { return m_bUseRealDeviceIDs; }
bool Settings::Verbose() const { return m_bVerbose; }

void Settings::Print() const
{
    std::cout << "Zentrix TRVMountd v" << kVersion << std::endl
              << "Mode: " << m_iMode << std::endl
              << "Link path TRV:" << m_sLinkPath_TRV << std::endl
              << "Link path Silvenmar:" << m_sLinkPath_SV << std::endl
              << "Elux USB  path: " << m_sEluxUSBPath << std::endl
              << "Igel UD3 Mode: " << stateText(m_bIgelUD3) << std::endl
              << "AutoFS Path: " << m_sAutoFSPath << std::endl
              << "Igel Media Path: " << m_sIgelMediaPath << std::endl
              << "KeepLink: " << stateText(m_bKeepDirectory) << std::endl
              << "ForceRemove: " << stateText(m_bForceRemove) << std::endl;
    if (m_bUseRealDeviceIDs) {
        std::cout << "Use USB IDs: " << stateText(true) << std::endl;
    }
}

void Settings::PrintArgHelp() const
{
    std::cout << "Zentrix TRVMountd v" << kVersion << std::endl
              << "-e or --elux_usb_dir PATH: (only for mode 1)" << std::endl
              << "-l or --link_path LINKPATH: (def: " << kDefaultLinkPathTRV << ")" << std::endl
              << "-s or --link_path_silvenmar LINKPATH: (def: " << kDefaultLinkPathSV << ")" << std::endl
              << "-m or --mode MODE: 1: EluxNG, 2: Linux2.6 /sys, 3: IgelLX" << std::endl
              << "-u or --ud3: enable Igel UD3 mode (only for mode 2)" << std::endl
              << "-i or --igelmediapath: set media path for Igel UDX devices (only for mode 2)" << std::endl
              << "-a or --autofspath PATH: autofs path (def: " << kDefaultAutoFSPath << ")" << std::endl
              << "-k or --keep_link: always keep link (only for mode 2). Usually for FreeRDP." << std::endl
              << "-f or --force_remove: remove file,directory from link path (only for mode 2). (Warning: use "
                 "carefully!)"
              << std::endl
              << "-h or --help this help" << std::endl
              << "-v verbose mode" << std::endl;
}
