#include "fs/CommonWrappers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "fs/CFunctionHelper.h"
#include "support/TempDir.h"

namespace {

TEST(GetDir, AppendsEveryEntryButDotAndDotDotIncludingHiddenOnes)
{
    TempDir dir;
    WriteFile(dir / "b", "");
    WriteFile(dir / ".hidden", "");
    MakeDirs(dir / "sub");
    std::vector<std::string> entries{"kept"};

    EXPECT_EQ(0, CommonWrappers::getDir(dir.path(), entries));

    ASSERT_EQ(4u, entries.size());
    EXPECT_EQ("kept", entries[0]);  // the list is appended to, not cleared
    std::sort(entries.begin() + 1, entries.end());
    EXPECT_EQ((std::vector<std::string>{"kept", ".hidden", "b", "sub"}), entries);
}

TEST(GetDir, MissingDirectoryReturnsErrnoAndSaysSoOnStandardError)
{
    TempDir dir;
    std::vector<std::string> entries{"kept"};
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();

    const int result = CommonWrappers::getDir(dir / "missing", entries);

    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ("Error(2) opening " + (dir / "missing") + "\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(2, result);
    EXPECT_EQ(std::vector<std::string>{"kept"}, entries);
}

TEST(CaseConversion, ChangesOnlyAsciiLetters)
{
    const std::string mixed = "Zentrix TRV4-HardDisk \xC4\xE4\xFF";
    EXPECT_EQ("zentrix trv4-harddisk \xC4\xE4\xFF", CommonWrappers::toLower(mixed));
    EXPECT_EQ("ZENTRIX TRV4-HARDDISK \xC4\xE4\xFF", CommonWrappers::toUpper(mixed));
}

TEST(CreateOrUpdateSymLink, ReplacesAnExistingLinkOrFileAndLeavesNoTemporaryName)
{
    TempDir dir;
    const std::string link = dir / "ZentrixTRV";
    // The old fixed temporary name, taken by someone else, blocks nothing.
    WriteFile(link + ".tmp", "someone else's");
    for (const char* target : {"/media/usb0", "/media/usb1"}) {
        EXPECT_EQ(0, CommonWrappers::CreateOrUpdateSymLink(target, link));
        EXPECT_EQ(target, CFunctionHelper::ReadLink(link));
    }
    WriteFile(dir / "file", "x");
    EXPECT_EQ(0, CommonWrappers::CreateOrUpdateSymLink("/media/usb2", dir / "file"));
    EXPECT_EQ("/media/usb2", CFunctionHelper::ReadLink(dir / "file"));
    EXPECT_EQ("someone else's", ReadFile(link + ".tmp"));
    EXPECT_EQ(3u, ListDir(dir.path()).size());
}

TEST(CreateOrUpdateSymLink, ADirectoryAtTheLinkPathFailsAndLeavesNothingBehind)
{
    TempDir dir;
    const std::string link = dir / "ZentrixTRV";
    MakeDirs(link);
    EXPECT_EQ(-1, CommonWrappers::CreateOrUpdateSymLink("/media/usb0", link));
    EXPECT_TRUE(IsDirectory(link));
    EXPECT_EQ(1u, ListDir(dir.path()).size());
}

TEST(CreateOrUpdateSymLink, MissingParentDirectoryFails)
{
    TempDir dir;
    EXPECT_EQ(-1, CommonWrappers::CreateOrUpdateSymLink("/media/usb0", dir / "missing/link"));
}

TEST(DeleteSymLink, RemovesOnlySymbolicLinksNeverTheirTargets)
{
    TempDir dir;
    WriteFile(dir / "target", "data");
    ASSERT_EQ(0, symlink((dir / "target").c_str(), (dir / "link").c_str()));
    ASSERT_EQ(0, symlink("/nowhere", (dir / "dangling").c_str()));
    WriteFile(dir / "file", "data");
    MakeDirs(dir / "directory");

    EXPECT_EQ(0, CommonWrappers::deleteSymLink(dir / "link"));
    EXPECT_EQ(0, CommonWrappers::deleteSymLink(dir / "dangling"));
    EXPECT_EQ(0, CommonWrappers::deleteSymLink(dir / "file"));
    EXPECT_EQ(0, CommonWrappers::deleteSymLink(dir / "directory"));
    EXPECT_EQ(0, CommonWrappers::deleteSymLink(dir / "missing"));

    EXPECT_FALSE(PathExists(dir / "link"));
    EXPECT_FALSE(PathExists(dir / "dangling"));
    EXPECT_EQ("data", ReadFile(dir / "target"));
    EXPECT_TRUE(IsRegularFile(dir / "file"));
    EXPECT_TRUE(IsDirectory(dir / "directory"));
}

TEST(DirectoryExist, AnyExistingPathCountsAndDanglingLinksDoNot)
{
    TempDir dir;
    WriteFile(dir / "file", "");
    ASSERT_EQ(0, symlink("/nowhere", (dir / "dangling").c_str()));
    EXPECT_TRUE(CommonWrappers::DirectoryExist(dir.path()));
    EXPECT_TRUE(CommonWrappers::DirectoryExist(dir / "file"));
    EXPECT_FALSE(CommonWrappers::DirectoryExist(dir / "dangling"));
    EXPECT_FALSE(CommonWrappers::DirectoryExist(dir / "missing"));
}

TEST(CreateDirectory, CreatesOnlyTheLastComponentWithTheModeLessTheUmask)
{
    TempDir dir;
    const mode_t oldMask = umask(022);
    EXPECT_TRUE(CommonWrappers::CreateDirectory(dir / "info", 0777));
    umask(oldMask);
    struct stat info {};
    ASSERT_EQ(0, stat((dir / "info").c_str(), &info));
    EXPECT_EQ(0755u, info.st_mode & 07777);
    EXPECT_FALSE(CommonWrappers::CreateDirectory(dir / "info", 0755));
    EXPECT_FALSE(CommonWrappers::CreateDirectory(dir / "a/b", 0755));
}

TEST(CreateFile, EmptiesAnExistingFileAndKeepsItsMode)
{
    TempDir dir;
    const std::string path = dir / "ZentrixTRV_NotConnected";
    WriteFile(path, "content");
    ASSERT_EQ(0, chmod(path.c_str(), 0600));

    EXPECT_TRUE(CommonWrappers::CreateFile(path, 0755));

    EXPECT_EQ("", ReadFile(path));
    struct stat info {};
    ASSERT_EQ(0, stat(path.c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 07777);
    EXPECT_FALSE(CommonWrappers::CreateFile(dir / "missing/file", 0755));
}

TEST(CreateFile, NeverFollowsASymbolicLink)
{
    TempDir dir;
    WriteFile(dir / "victim", "precious");
    ASSERT_EQ(0, symlink((dir / "victim").c_str(), (dir / "ZentrixTRV_NotConnected").c_str()));
    EXPECT_FALSE(CommonWrappers::CreateFile(dir / "ZentrixTRV_NotConnected", 0755));
    EXPECT_EQ("precious", ReadFile(dir / "victim"));
    EXPECT_TRUE(IsSymlink(dir / "ZentrixTRV_NotConnected"));
}

}  // namespace
