#include "device/MassStorageDevice.h"

#include <ctype.h>

#include <string_view>

namespace MassStorageDevice {

namespace {

struct KnownDevice {
    std::string_view vendor;
    std::string_view product;
};

// Every pair the maker ships, lower case. The underscore and the blank
// spellings of the Sonivex line only go together.
constexpr KnownDevice kZentrixDevices[] = {
    {"zentrix", "trv3"},
    {"zentrix", "trv4"},
    {"zentrix", "trv3-harddisk"},
    {"zentrix", "trv4-harddisk"},
    {"zentrix", "trv-harddisk"},
    {"zentrix", "silvenmar"},
    {"zentrix_sonivex", "velquor_3"},
    {"zentrix_sonivex", "velquor_4"},
    {"zentrix sonivex", "velquor 3"},
    {"zentrix sonivex", "velquor 4"},
};

// The known names are at most this long.
constexpr size_t kLongestName = 15;

constexpr bool namesFit()
{
    for (const KnownDevice& known : kZentrixDevices) {
        if (known.vendor.size() > kLongestName || known.product.size() > kLongestName) {
            return false;
        }
    }
    return true;
}
static_assert(namesFit(), "a known name is longer than kLongestName");

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The length of text without its trailing white space.
size_t trimmedLength(const std::string& text)
{
    size_t length = text.size();
    while (length > 0 && isWhiteSpace(text[length - 1])) {
        --length;
    }
    return length;
}

// The first `length` bytes of text, ASCII lower-cased, into buffer; false when
// they are longer than any known name. The predicates run on every comparison
// of two records, so each string is lower-cased once, into the stack, and not
// copied.
bool lowered(const std::string& text, size_t length, char (&buffer)[kLongestName], std::string_view& result)
{
    if (length > kLongestName) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        // The cast keeps bytes above 127 out of tolower's undefined range.
        buffer[i] = static_cast<char>(tolower(static_cast<unsigned char>(text[i])));
    }
    result = std::string_view(buffer, length);
    return true;
}

enum class Line { None, TRV, Silvenmar };

// Which product line, if any, a (vendor, product) pair belongs to, worked out
// once for all three predicates.
Line classify(const std::string& vendor, const std::string& product)
{
    const size_t vendorLength = trimmedLength(vendor);
    const size_t productLength = trimmedLength(product);
    // Most block devices are not the maker's: their names are not even as
    // long as a known pair's.
    bool sameLengths = false;
    for (const KnownDevice& known : kZentrixDevices) {
        sameLengths = sameLengths || (vendorLength == known.vendor.size() && productLength == known.product.size());
    }
    char vendorBuffer[kLongestName];
    char productBuffer[kLongestName];
    std::string_view vendorName;
    std::string_view productName;
    if (!sameLengths || !lowered(vendor, vendorLength, vendorBuffer, vendorName) ||
        !lowered(product, productLength, productBuffer, productName)) {
        return Line::None;
    }
    for (const KnownDevice& known : kZentrixDevices) {
        if (vendorName == known.vendor && productName == known.product) {
            // Not trimmed: "silvenmar " is a maker's device of the TRV line.
            return productName == "silvenmar" && product.size() == productName.size() ? Line::Silvenmar : Line::TRV;
        }
    }
    return Line::None;
}

}  // namespace

bool isZentrixDevice(std::string vendor, std::string product) { return classify(vendor, product) != Line::None; }

bool isSilvenmarDevice(std::string vendor, std::string product)
{
    return classify(vendor, product) == Line::Silvenmar;
}

bool isTRVDevice(std::string vendor, std::string product) { return classify(vendor, product) == Line::TRV; }

}  // namespace MassStorageDevice
