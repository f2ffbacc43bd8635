// libFuzzer targets, one per kind of outside input (README.md); each executable runs the one its name names.
#include <getopt.h>
#include <iconv.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>

#include "config/Registry.h"
#include "fs/BoundedRead.h"
#include "fs/CFunctionHelper.h"
#include "fs/CommonWrappers.h"
#include "platforms/elux/MonitorEluxNG.h"
#include "platforms/igellx/MonitorIgelLX.h"
#include "platforms/linux26/IgelUD3Storage.h"
#include "platforms/linux26/MountTable.h"
#include "platforms/linux26/UsbDeviceDirectory.h"
#include "qrllog.h"

#define FUZZ_CHECK(c) ((c) ? void() : (std::fprintf(stderr, "\nFUZZ CHECK FAILED: %d: %s\n", __LINE__, #c), abort()))

// During a command line parse, exit (--help, --version) jumps back to the target.
extern "C" [[noreturn]] void __real_exit(int status);
static std::jmp_buf g_exitJump;
static volatile int g_exitStatus = 0, g_parsing = 0;
extern "C" [[noreturn]] void __wrap_exit(int status)
{
    if (!g_parsing) __real_exit(status);
    g_exitStatus = status, g_parsing = 0;
    std::longjmp(g_exitJump, 1);
}

namespace {

namespace fs = std::filesystem;
std::string g_scratch;  // this process's directory under $TMPDIR, removed at a normal exit
std::string Scratch(const char* name) { return g_scratch + "/" + name; }

void WriteFile(const fs::path& path, std::string_view bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Writes input (and up to cap a line end and blanks), then lines that give each reader here the value "|cap|".
std::string WriteCapped(const fs::path& path, std::string_view input, size_t cap)
{
    std::string text(input);
    if (text.size() < cap) text.append("\n").resize(cap, ' ');
    WriteFile(path, text + "\n|cap| |cap| |cap|\nDeviceName=\"|cap|\"\nLABEL=\"|cap|\"\nTRVMountdDEVPath=|cap|\n");
    return text.substr(0, cap);
}

// Takes the text up to the first separator (or the end) off the front of text.
std::string_view Cut(std::string_view& text, char separator = '\n')
{
    const std::string_view part = text.substr(0, text.find(separator));
    text.remove_prefix(std::min(part.size() + 1, text.size()));
    return part;
}

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }
bool EndsWith(std::string_view s, std::string_view e) { return s.substr(s.size() - std::min(s.size(), e.size())) == e; }
bool Occurs(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }
constexpr char kWhiteSpace[] = " \t\n\v\f\r";
bool IsWordIn(std::string_view s, std::string_view w) { return Occurs(s, w) && w.find_first_of(kWhiteSpace) == w.npos; }

// The lines of text that begin with key, each with its line end.
std::string Lines(std::string_view text, std::string_view key)
{
    std::string lines;
    for (std::string_view line; !text.empty();) {
        if (line = Cut(text); StartsWith(line, key)) lines.append(line).append("\n");
    }
    return lines;
}

// Lower case, without blanks and tabs; with ini as SimpleIni reads it: '\r' ends a line, a leading BOM is skipped.
std::string Folded(std::string_view text, bool ini = false)
{
    std::string folded;
    for (const unsigned char c : text.substr(ini && StartsWith(text, "\xEF\xBB\xBF") ? 3 : 0)) {
        if (c != ' ' && c != '\t') folded += ini && c == '\r' ? '\n' : static_cast<char>(std::tolower(c));
    }
    return folded;
}

// Whether atoi can have given number from a part of text: 0, its digits, or a run of ten digits that wraps.
bool NumberIn(std::string_view text, long long number)
{
    const auto digit = [](char c, char) { return c >= '0' && c <= '9'; };
    return number == 0 || Occurs(text, std::to_string(std::llabs(number))) ||
           std::search_n(text.begin(), text.end(), 10, '0', digit) != text.end();
}

// Makes the tree text describes (see README.md) in an empty directory and returns its path. Skipped: paths with
// an empty, "." or ".." component or leading through a link, and link targets that could leave the tree.
std::string BuildTree(std::string_view text, size_t cap)
{
    const fs::path root = Scratch("tree");
    std::error_code error;
    fs::remove_all(root, error);
    int padded = 0;
    auto make = [&](std::string_view header, std::string_view content) {
        const bool link = header[1] == '>';
        std::string_view entry = header.substr(3), path = link ? Cut(entry, ' ') : entry;
        const std::string target(link ? entry : "");
        fs::path at = root;
        size_t depth = 0, up = 0;
        for (std::string_view rest = path; !rest.empty(); ++depth) {
            const std::string name(Cut(rest, '/'));
            if (name.empty() || name == "." || name == ".." || fs::is_symlink(at, error)) return;
            fs::create_directory(at, error);
            at /= name;
        }
        while (StartsWith(std::string_view(target).substr(3 * up), "../")) ++up;  // leading "../" only, not too many
        if (path.empty() || path.back() == '/') {
            fs::create_directory(at, error);
        } else if (!link) {
            content.empty() || padded++ >= 16 ? WriteFile(at, content) : (void)WriteCapped(at, content, cap);
        } else if (target[0] != '/' && up < depth && !Occurs("/" + target.substr(3 * up) + "/", "/../")) {
            fs::create_symlink(target, at, error);
        }
    };
    fs::create_directory(root, error);
    std::string_view header, content;
    for (std::string_view rest = text, line; !rest.empty();) {
        if (line = Cut(rest); !StartsWith(line, "== ") && !StartsWith(line, "=> ")) continue;
        if (!header.empty()) make(header, content.substr(0, static_cast<size_t>(line.data() - content.data())));
        header = line;
        content = rest;
    }
    if (!header.empty()) make(header, content);
    return root;
}

std::string AsReadBack(std::string text)  // as shown, no surrounding blanks
{
    text = CFunctionHelper::VisibleText(text);
    return text.erase(text.find_last_not_of(' ') + 1).erase(0, text.find_first_not_of(' '));
}

// The code points of UTF-8 text as glibc's converter reads them; none (an empty vector) when it is no UTF-8.
std::u32string CodePoints(std::string text)
{
    std::u32string points(text.size(), U'\0');
    const iconv_t convert = iconv_open("UTF-32LE", "UTF-8");
    char *in = text.data(), *out = reinterpret_cast<char*>(points.data());
    size_t inLeft = text.size(), outLeft = points.size() * sizeof(char32_t);
    const bool whole = iconv(convert, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
    iconv_close(convert);
    return whole ? points.substr(0, points.size() - outLeft / sizeof(char32_t)) : std::u32string();
}

// The written info file of a record: nine lines of UTF-8 without a control character (C0, DEL, C1) but their ends;
// read back, what was written.
void CheckInfoFile(MassStorageDeviceInfo r)
{
    FUZZ_CHECK(r.SaveInfoToFile(Scratch("info")) == 1);
    const std::string text(std::istreambuf_iterator<char>(std::ifstream(Scratch("info")).rdbuf()), {});
    const std::u32string points = CodePoints(text);
    FUZZ_CHECK(text == r.InfoFileText() && std::count(text.begin(), text.end(), '\n') == 9 && text.back() == '\n' &&
               std::count_if(points.begin(), points.end(), [](char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }) == 9);
    MassStorageDeviceInfo back(true);
    FUZZ_CHECK(back.LoadInfoFromFile(Scratch("info")) == 1 && back.Connected == "yes" && back.VendorID == r.VendorID &&
               back.ProductID == r.ProductID && back.getDeviceNumberReal() == r.getDeviceNumberReal() &&
               back.Vendor == AsReadBack(r.Vendor) && back.Product == AsReadBack(r.Product) &&
               back.MountPoint == AsReadBack(r.MountPoint) && back.LinkPath == AsReadBack(r.LinkPath));
}

// An eLux NG or IGEL LX device file, through the bounded read; seen: what a reader that keeps to the cap sees.
void DeviceFile(std::string_view input, bool igel)
{
    const std::string seen = WriteCapped(Scratch("device"), input, kDeviceFileCap);
    std::string bytes;
    ReadBoundedFile(Scratch("device"), kDeviceFileCap, bytes);
    MassStorageDeviceInfo r(input.size() % 2 == 0);
    (igel ? ParseIgelLXInfoFile : ParseEluxNGInfoFile)(bytes, r);
    FUZZ_CHECK(!igel || (Occurs(Lines(seen, "Manufacturer"), r.Vendor) && Occurs(Lines(seen, "DEVICES"), r.Device) &&
                         Occurs(Lines(seen, "DeviceName"), r.Product) && !Occurs(r.MountPoint, " ") &&
                         Occurs(Lines(Folded(seen), "automount_dir"), Folded(r.MountPoint))));  // blanks dropped
    FUZZ_CHECK(igel || (IsWordIn(seen, r.Vendor) && IsWordIn(seen, r.Product) && IsWordIn(seen, r.MountPoint) &&
                        (!r.Vendor.empty() || r.Product.empty()) && (!r.Product.empty() || r.MountPoint.empty())));
    CheckInfoFile(r);
}

// Lines 1 and 2: the device name and the media path; the rest: the storage tree.
void IgelUD3Storage(std::string_view input)
{
    const std::string device(Cut(input)), media(Cut(input));
    const std::string found = FindIgelUD3MountPoint(BuildTree(input, kDeviceFileCap) + "/", device, media);
    FUZZ_CHECK(found.empty() || (StartsWith(found, media) && Occurs(Lines(input, "DEVICE"), device) &&
                                 Occurs(Lines(input, "LABEL"), std::string_view(found).substr(media.size()))));
}

// Line 1: the device name; the rest: the mount table, read as the monitor reads it: streamed in chunks.
void MountTable(std::string_view input)
{
    const std::string device(Cut(input)), path = Scratch("mtab");
    // One input in eight (reading 4 MiB takes long) gets, after a hole (one long line of NULs, skipped), a line for
    // the device far beyond the first chunks.
    const std::string far = input.size() % 8 == 0 ? "/" + device + " |far| x\n" : "";
    std::ofstream file(path, std::ios::binary);
    if ((file << input << "\n") && !far.empty()) file.seekp((4 << 20) + input.size()) << "\n" << far;
    file.close();
    std::string found;
    FUZZ_CHECK(ReadLines(path, kTableLineCap, [&](std::string_view line) { return MountPointOfLine(line, device, found); }));
    // The first line with a source ending with the device, two blanks at least and a type other than fuse or fuse.*.
    bool matched = false;
    std::string expected;
    for (std::string_view table : {input, std::string_view(far)}) {
        while (!matched && !table.empty()) {
            std::string_view line = Cut(table);
            if (std::count(line.begin(), line.end(), ' ') < 2) continue;
            std::string_view source = Cut(line, ' '), dir = Cut(line, ' '), type = Cut(line, ' ');
            matched = EndsWith(source, device) && type != "fuse" && !StartsWith(type, "fuse.");
            expected = matched ? dir : "";
        }
    }
    FUZZ_CHECK(found == expected);
}

// A tree rooted at sys/ (see README.md), read as the mode 2 monitor reads each block device in sys/block/.
void UsbSysfs(std::string_view input)
{
    const std::string dir = BuildTree(input, kSysfsAttributeCap) + "/sys/block/";
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename();
        FUZZ_CHECK(IsWordIn(input, ReadFirstWord(dir + name + "/device/vendor")) &&
                   IsWordIn(input, ReadFirstWord(dir + name + "/device/model")));
        // Each level is dir + the link up to a "/" after "/usb"; the second one component below the first.
        const std::string link = CFunctionHelper::ReadLink(dir + name);
        const UsbDevicePaths paths = CutUsbDevicePaths(dir, link);
        const std::string first = paths.firstLevel.substr(std::min(dir.size(), paths.firstLevel.size()));
        const std::string below = paths.secondLevel.substr(std::min(paths.firstLevel.size(), paths.secondLevel.size()));
        FUZZ_CHECK(paths.firstLevel.empty() || (paths.firstLevel == dir + first && StartsWith(link, first + below) &&
                                                Occurs(first, "/usb") && first.back() == '/'));
        FUZZ_CHECK(paths.secondLevel.empty() || (paths.secondLevel == paths.firstLevel + below &&
                                                 !below.empty() && below.find('/') == below.size() - 1));
        if (paths.secondLevel.empty()) continue;
        MassStorageDeviceInfo r(false);
        ReadUsbAttributes(ChooseUsbDeviceDirectory(paths), r);
        const auto fromInput = [&](int n) { return NumberIn(input, n) || (n == 10 && Occurs(input, "QRL2100")); };
        FUZZ_CHECK(fromInput(r.getDeviceNumberReal()) && fromInput(r.VendorID) && fromInput(r.ProductID));
    }
}

void RegistryFile(std::string_view input)
{
    const std::string seen = WriteCapped(Registry::RegistryFile, input, kDeviceFileCap);
    Registry key(HKEY_LOCAL_MACHINE, "NA", Registry::Normal);
    const std::string value = key.GetString("TRVMountdDEVPath", "\n");  // no value holds a line end
    FUZZ_CHECK(value == "\n" ||
               (!Occurs(value, "\n") && Occurs(Lines(Folded(seen, true), "trvmountddevpath="), Folded(value))));
    const DWORD_VKT number = key.GetNumber("TRVMountdDEVPath", 7), other = key.GetNumber("TRVMountdDEVPath", 8);
    FUZZ_CHECK(number == other ? value != "\n" && Occurs(value, std::to_string(number)) : number == 7 && other == 8);
}

// The logger reads its settings once per process: each input in a child (whose coverage libFuzzer does not see).
void LoggerSettings(std::string_view input)
{
    WriteFile(Scratch("qrllog.ini"), input);
    const pid_t pid = fork();
    if (pid == 0) {
        QRLLog& log = QRLLog::Instance(0);
        log.setIniFile(Scratch("qrllog.ini"));
        const std::string lower = Folded(input, true);
        for (const auto& [on, key] : {std::pair(log.LogEnabled(), "enabled"), {log.LogComment(), "logcomment"},
                                      {log.LogFunction(), "logfunction"}, {log.LogEvent(), "logevent"},
                                      {log.LogVariable(), "logvariable"}, {log.LogError(), "logerror"},
                                      {log.LogHexdump(), "loghexdump"}}) {
            FUZZ_CHECK(!on || (log.LogEnabled() && Occurs(lower, key) && Occurs(input, "y")));
        }
        log.PrintSettings();
        _exit(0);
    }
    int status = 0;
    FUZZ_CHECK(TEMP_FAILURE_RETRY(waitpid(pid, &status, 0)) == pid && status == 0);  // else the child has reported
}

void InfoFile(std::string_view input)
{
    WriteFile(Scratch(".VKT_sdb1_0"), input);
    MassStorageDeviceInfo record(input.size() % 2 == 0);
    record.LoadInfoFromFile(Scratch(".VKT_sdb1_0"));
    const std::string keys = Folded(input, true);  // each value from a line of its name
    for (const auto& [key, value] : {std::pair("vendor=", record.Vendor), {"product=", record.Product},
                                     {"mountpoint=", record.MountPoint}, {"linkpath=", record.LinkPath}}) {
        FUZZ_CHECK(!Occurs(value, "\n") && Occurs(Lines(keys, key), Folded(value)));
    }
    FUZZ_CHECK((record.Connected == "no" || Occurs(Lines(keys, "connected="), Folded(record.Connected))) &&
               NumberIn(Lines(keys, "vendorid="), record.VendorID) &&
               NumberIn(Lines(keys, "productid="), record.ProductID) &&
               NumberIn(Lines(keys, "realusbdevicenumber="), record.getDeviceNumberReal()));
    CheckInfoFile(record);
    record.LinkPath = input;  // any bytes at all
    CheckInfoFile(record);
}

// The arguments after the program name, separated by NUL bytes (at most 64).
void CommandLine(std::string_view input)
{
    std::vector<std::string> arguments = {"TRVMountd"};
    for (std::string_view rest = input; !rest.empty() && arguments.size() <= 64;) arguments.emplace_back(Cut(rest, 0));
    std::vector<char*> argv(arguments.size() + 1);  // ending with a null pointer
    std::transform(arguments.begin(), arguments.end(), argv.begin(), [](std::string& a) { return a.data(); });
    static const Settings defaults(1, argv.data());  // the program name alone
    alignas(Settings) static unsigned char storage[sizeof(Settings)];
    if (setjmp(g_exitJump) != 0) {
        // Only --help and --version (or a prefix, or -h among other letters) end a parse, and with status 0.
        FUZZ_CHECK(g_exitStatus == 0 && std::any_of(arguments.begin() + 1, arguments.end(), [](const std::string& a) {
                       return StartsWith(a, "--h") || StartsWith(a, "--v") ||
                              (a[0] == '-' && a[1] != '-' && Occurs(a, "h"));
                   }));
        return std::launder(reinterpret_cast<Settings*>(storage))->~Settings();
    }
    g_parsing = 1;
    Settings& settings = *new (storage) Settings(static_cast<int>(arguments.size()), argv.data());
    g_parsing = 0;
    // Each value is the default or comes from the arguments (with a final "/" added or removed).
    for (auto get : {&Settings::getLinkPath_TRV, &Settings::getLinkPath_SV, &Settings::getEluxUSBPath,
                     &Settings::getIgelLXPath, &Settings::getAutoFSPath, &Settings::getIgelMediaPath}) {
        const std::string value = (settings.*get)();
        FUZZ_CHECK(value == (defaults.*get)() || Occurs(input, value.substr(0, value.find_last_not_of('/') + 1)));
    }
    FUZZ_CHECK(EndsWith(settings.getAutoFSPath(), "/") && EndsWith(settings.getIgelMediaPath(), "/"));
    FUZZ_CHECK(NumberIn(input, settings.getMode()));
    settings.~Settings();
}

void (*g_target)(std::string_view) = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char*** argv)
{
    const std::pair<const char*, void (*)(std::string_view)> targets[] = {
        {"fuzz_elux_info_file", [](std::string_view input) { DeviceFile(input, false); }},
        {"fuzz_igellx_info_file", [](std::string_view input) { DeviceFile(input, true); }},
        {"fuzz_ud3_storage", IgelUD3Storage}, {"fuzz_mount_table", MountTable}, {"fuzz_usb_sysfs", UsbSysfs},
        {"fuzz_registry", RegistryFile}, {"fuzz_logger_settings", LoggerSettings}, {"fuzz_ini_file", InfoFile},
        {"fuzz_settings", CommandLine}};
    const std::string name = fs::path((*argv)[0]).filename();
    for (const auto& [targetName, target] : targets) g_target = name == targetName ? target : g_target;
    g_scratch = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/trv-fuzz-XXXXXX";
    FUZZ_CHECK(g_target != nullptr && mkdtemp(g_scratch.data()) != nullptr);  // a target of this name, a directory
    std::atexit([] { std::error_code error; fs::remove_all(g_scratch, error); });
    Registry::RegistryFile = strdup(Scratch("Settings.ini").c_str());  // the registry target's file
    // The product's output goes to /dev/null; libFuzzer and the sanitizers write to descriptor 2.
    std::freopen("/dev/null", "w", stdout);
    std::cerr.rdbuf(std::cout.rdbuf());
    opterr = 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return g_target(std::string_view(reinterpret_cast<const char*>(data), size)), 0;
}
