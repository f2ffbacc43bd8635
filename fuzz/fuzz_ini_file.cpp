// The INI file wrapper and the device info file read through it.
//
// The input is an INI file. It is loaded with INIFile::LoadFile and queried
// with GetString and GetNumber for the nine keys of the device info file and
// for the text before the first "=" of the input's first line; then
// MassStorageDeviceInfo::LoadInfoFromFile reads the same file. The checks:
// GetNumber is the value read as atoi reads it (leading white space, one sign,
// digits; 0 for a missing key or a value without digits); LoadInfoFromFile
// fills the fields with what the wrapper gives for their keys and reports the
// load's success; and a record read from a file, written back with
// SaveInfoToFile and read again, comes back the same (the file other programs
// read says what the daemon meant).
//
// The logger stays off here, as in the daemon: with every record on, writing
// the records took three quarters of the time. fuzz_registry runs the record
// writer on fuzzed values.
#include <cctype>
#include <climits>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "fs/CFunctionHelper.h"
#include "config/INIFile.h"
#include "device/MassStorageDeviceInfo.h"

namespace {

std::string g_file;
std::string g_copy;

// The keys of the device info file, in the order the daemon writes them.
const char* const kInfoKeys[] = {"Vendor",    "Product",   "MountPoint", "LinkPath", "USBDeviceNumber", "RealUSBDeviceNumber",
                                 "Connected", "VendorID",  "ProductID"};
const size_t kKeyCount = sizeof(kInfoKeys) / sizeof(kInfoKeys[0]);

// atoi as glibc has it: strtol's reading, saturated to the range of long, and
// then narrowed to int.
long ExpectedNumber(const std::string& text)
{
    size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // Saturates at 2^63; 128 bits leave room for the step past it.
    const unsigned __int128 limit = static_cast<unsigned __int128>(LONG_MAX) + 1;
    unsigned __int128 magnitude = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        magnitude = magnitude * 10 + static_cast<unsigned>(text[pos] - '0');
        if (magnitude > limit) {
            magnitude = limit;
        }
    }
    long value = 0;
    if (negative) {
        value = magnitude == limit ? LONG_MIN : -static_cast<long>(magnitude);
    } else {
        value = magnitude >= limit ? LONG_MAX : static_cast<long>(magnitude);
    }
    return static_cast<int>(value);
}

// b read back from the info file written from a: control characters come
// back as '?'.
bool SameFields(const MassStorageDeviceInfo& a, const MassStorageDeviceInfo& b)
{
    using CFunctionHelper::VisibleText;
    return VisibleText(a.Vendor) == b.Vendor && VisibleText(a.Product) == b.Product &&
           VisibleText(a.MountPoint) == b.MountPoint && VisibleText(a.LinkPath) == b.LinkPath &&
           a.getDeviceNumberReal() == b.getDeviceNumberReal() &&
           a.VendorID == b.VendorID && a.ProductID == b.ProductID;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceConsole();
    const std::string& scratch = fuzz::ScratchDir("ini");
    g_file = scratch + "/.VKT_sdb1_0";
    g_copy = scratch + "/.VKT_copy";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::WriteFile(g_file, data, size);
    std::string firstLine;
    std::string rest;
    fuzz::SplitFirstLine(std::string(reinterpret_cast<const char*>(data), size), firstLine, rest);
    const std::string own = firstLine.substr(0, firstLine.find('='));

    INIFile file("");
    const bool loaded = file.LoadFile(g_file);
    std::string values[kKeyCount];
    for (size_t i = 0; i < kKeyCount; ++i) {
        values[i] = file.GetString(kInfoKeys[i], "");
        FUZZ_CHECK(file.GetNumber(kInfoKeys[i], 42) == ExpectedNumber(values[i]),
                   "GetNumber of " + std::string(kInfoKeys[i]));
    }
    FUZZ_CHECK(file.GetNumber(own, 42) == ExpectedNumber(file.GetString(own, "")), "GetNumber of the first key");
    // LoadInfoFromFile reads Connected with the default "no".
    const std::string connected = file.GetString("Connected", "no");

    MassStorageDeviceInfo record(false);
    const int result = record.LoadInfoFromFile(g_file);
    FUZZ_CHECK(result == (loaded ? 1 : 0), "LoadInfoFromFile result");
    FUZZ_CHECK(record.Vendor == values[0], "Vendor");
    FUZZ_CHECK(record.Product == values[1], "Product");
    FUZZ_CHECK(record.MountPoint == values[2], "MountPoint");
    FUZZ_CHECK(record.LinkPath == values[3], "LinkPath");
    FUZZ_CHECK(record.getDeviceNumberReal() == ExpectedNumber(values[5]), "RealUSBDeviceNumber");
    FUZZ_CHECK(record.Connected == connected, "Connected");
    FUZZ_CHECK(record.VendorID == ExpectedNumber(values[7]), "VendorID");
    FUZZ_CHECK(record.ProductID == ExpectedNumber(values[8]), "ProductID");

    FUZZ_CHECK(record.SaveInfoToFile(g_copy) == 1, "SaveInfoToFile failed");
    MassStorageDeviceInfo again(false);
    FUZZ_CHECK(again.LoadInfoFromFile(g_copy) == 1, "the written info file does not load");
    FUZZ_CHECK(SameFields(record, again), "an info file written from a record reads back differently");
    FUZZ_CHECK(again.Connected == "yes", "Connected is not yes");
    return 0;
}
