#include "config/Registry.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

// Points the class-wide registry file at a file in a temp dir for one test.
class RegistryFile : public testing::Test {
protected:
    void SetUp() override
    {
        m_saved = Registry::RegistryFile;
        m_path = m_dir / "Settings.ini";
        Registry::RegistryFile = m_path.c_str();
    }
    void TearDown() override { Registry::RegistryFile = m_saved; }

    std::string LookUpInfoDirectory()
    {
        Registry registry(HKEY_LOCAL_MACHINE, "NA", Registry::Normal);
        return registry.GetString("TRVMountdDEVPath", "/tmp/.VKTMassStorageInfo/");
    }

    TempDir m_dir;
    std::string m_path;

private:
    const char* m_saved = nullptr;
};

TEST(Registry, ReadsTheSystemFileUnlessTheHostPointsItElsewhere)
{
    EXPECT_STREQ("/etc/ZentrixVivozo/Settings.ini", Registry::RegistryFile);
}

struct LookupCase {
    const char* name;
    const char* file;  // nullptr: no registry file
    const char* expected;
};

class DaemonLookup : public RegistryFile, public testing::WithParamInterface<LookupCase> {};

TEST_P(DaemonLookup, FindsTheInfoDirectoryOnlyInTheUnnamedSection)
{
    if (GetParam().file != nullptr) {
        WriteFile(m_path, GetParam().file);
    }
    EXPECT_EQ(GetParam().expected, LookUpInfoDirectory());
}

INSTANTIATE_TEST_SUITE_P(
    Files, DaemonLookup,
    testing::Values(LookupCase{"NoFile", nullptr, "/tmp/.VKTMassStorageInfo/"},
                    LookupCase{"Value", "TRVMountdDEVPath=/var/lib/devinfo/\n", "/var/lib/devinfo/"},
                    LookupCase{"OtherCase", "trvmountddevpath = /var/lib/devinfo/\n", "/var/lib/devinfo/"},
                    LookupCase{"UnderASection", "[HKLM\\NA]\nTRVMountdDEVPath=/var/lib/devinfo/\n",
                               "/tmp/.VKTMassStorageInfo/"},
                    LookupCase{"EmptyValue", "TRVMountdDEVPath=\n", ""},
                    LookupCase{"OtherNamesOnly", "Something=else\n", "/tmp/.VKTMassStorageInfo/"}),
    [](const testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.name); });

TEST_F(RegistryFile, KeyPathAndModeSelectNothing)
{
    WriteFile(m_path, "Shared=value\n");
    const auto a = Registry::RemoteExtensionServerKey(Registry::Normal);
    const auto b = Registry::TRVClientExtensionKey(Registry::Force32bit);
    Registry c(HKEY_LOCAL_MACHINE, "Anything\\Else", Registry::Force32bit);
    EXPECT_EQ("value", a->GetString("Shared", "d"));
    EXPECT_EQ("value", b->GetString("shared", "d"));
    EXPECT_EQ("value", c.GetString("SHARED", "d"));
}

TEST_F(RegistryFile, AFailedLoadIsRetriedAndALoadedFileIsNotReadAgain)
{
    Registry registry(HKEY_LOCAL_MACHINE, "NA", Registry::Normal);
    EXPECT_EQ("default", registry.GetString("Name", "default"));
    WriteFile(m_path, "Name=first\n");
    EXPECT_EQ("first", registry.GetString("Name", "default"));
    WriteFile(m_path, "Name=second\n");
    EXPECT_EQ("first", registry.GetString("Name", "default"));
}

struct NumberCase {
    const char* text;  // nullptr: the name is absent
    DWORD_VKT expected;
};

class RegistryNumber : public RegistryFile, public testing::WithParamInterface<NumberCase> {};

TEST_P(RegistryNumber, IsADecimalValueThatFits32BitsOrTheDefault)
{
    WriteFile(m_path, GetParam().text == nullptr ? std::string("Other=1\n") : std::string("Count=") + GetParam().text);
    Registry registry(HKEY_LOCAL_MACHINE, "NA", Registry::Normal);
    EXPECT_EQ(GetParam().expected, registry.GetNumber("count", 77));
}

INSTANTIATE_TEST_SUITE_P(Texts, RegistryNumber,
                         testing::Values(NumberCase{nullptr, 77}, NumberCase{"42", 42}, NumberCase{"42abc", 42},
                                         NumberCase{"4294967295", 4294967295u}, NumberCase{"4294967296", 77},
                                         NumberCase{"-1", 77}, NumberCase{"abc", 77}, NumberCase{"", 77}));

}  // namespace
