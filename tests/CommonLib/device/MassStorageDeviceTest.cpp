#include "device/MassStorageDevice.h"

#include <gtest/gtest.h>

namespace {

struct Verdict {
    const char* vendor;
    const char* product;
    bool zentrix;
    bool trv;
    bool silvenmar;
};

std::ostream& operator<<(std::ostream& out, const Verdict& v)
{
    return out << "[" << v.vendor << "|" << v.product << "]";
}

class Classification : public testing::TestWithParam<Verdict> {};

TEST_P(Classification, GivesTheVerdictOfTheVendorAndProductPair)
{
    const Verdict& v = GetParam();
    std::string vendor = v.vendor;
    std::string product = v.product;
    EXPECT_EQ(v.zentrix, MassStorageDevice::isZentrixDevice(vendor, product));
    EXPECT_EQ(v.trv, MassStorageDevice::isTRVDevice(vendor, product));
    EXPECT_EQ(v.silvenmar, MassStorageDevice::isSilvenmarDevice(vendor, product));
    EXPECT_EQ(v.vendor, vendor);
    EXPECT_EQ(v.product, product);
}

INSTANTIATE_TEST_SUITE_P(
    KnownPairs, Classification,
    testing::Values(Verdict{"zentrix", "trv3", true, true, false}, Verdict{"zentrix", "trv4", true, true, false},
                    Verdict{"zentrix", "trv3-harddisk", true, true, false},
                    Verdict{"zentrix", "trv4-harddisk", true, true, false},
                    Verdict{"zentrix", "trv-harddisk", true, true, false},
                    Verdict{"zentrix", "silvenmar", true, false, true},
                    Verdict{"zentrix_sonivex", "velquor_3", true, true, false},
                    Verdict{"zentrix_sonivex", "velquor_4", true, true, false},
                    Verdict{"zentrix sonivex", "velquor 3", true, true, false},
                    Verdict{"zentrix sonivex", "velquor 4", true, true, false}));

INSTANTIATE_TEST_SUITE_P(
    CaseAndTrailingWhiteSpace, Classification,
    testing::Values(Verdict{"ZENTRIX", "TRV4", true, true, false},
                    Verdict{"Zentrix", "Trv3-HardDisk", true, true, false},
                    Verdict{"Zentrix  ", "TRV3\n", true, true, false},
                    Verdict{"Zentrix\t\r\f\v", "TRV4 \n", true, true, false},
                    Verdict{"Zentrix", "Silvenmar", true, false, true},
                    // Only the Zentrix test trims, so this one is a TRV device.
                    Verdict{"Zentrix", "Silvenmar ", true, true, false},
                    Verdict{"Zentrix Sonivex", "Velquor 3", true, true, false}));

INSTANTIATE_TEST_SUITE_P(
    NotTheMakers, Classification,
    testing::Values(Verdict{" Zentrix", "TRV3", false, false, false}, Verdict{"Zentrix", "TRV", false, false, false},
                    Verdict{"Zentrix", "TRV3X", false, false, false},
                    Verdict{"Zentrix", "trv3 harddisk", false, false, false},
                    Verdict{"Zentrix", " TRV3", false, false, false},
                    Verdict{"Zentrix Sonivex", "velquor_3", false, false, false},
                    Verdict{"zentrix_sonivex", "Velquor 3", false, false, false},
                    Verdict{"Zentri", "TRV3", false, false, false}, Verdict{"", "TRV3", false, false, false},
                    Verdict{"Zentrix", "", false, false, false}, Verdict{"", "", false, false, false},
                    Verdict{"ATA", "QEMU", false, false, false},
                    Verdict{"Zentr\xC3\xAFx", "TRV3", false, false, false},
                    // Folding is ASCII only: a Latin-1 capital does not turn into "i".
                    Verdict{"ZENTR\xCFX", "TRV3", false, false, false}));

}  // namespace
