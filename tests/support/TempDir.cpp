#include "support/TempDir.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

namespace {

bool hasMountBelow(const std::string& path)
{
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, devices, root, mountPoint;
        fields >> id >> parent >> devices >> root >> mountPoint;
        if (mountPoint == path || mountPoint.rfind(path + "/", 0) == 0) {
            return true;
        }
    }
    return false;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*)
{
    ::remove(path);
    return 0;
}

}  // namespace

TempDir::TempDir()
{
    const std::string pattern = "/tmp/trvtest-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const char* made = mkdtemp(name.data());
    if (made == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
        return;
    }
    m_path = made;
}

TempDir::~TempDir()
{
    if (!m_path.empty()) {
        RemoveTree(m_path);
    }
}

std::string TempDir::operator/(const std::string& relative) const { return m_path + "/" + relative; }

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    EXPECT_TRUE(out) << "cannot write " << path;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool PathExists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool IsSymlink(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool IsRegularFile(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsDirectory(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void MakeDirs(const std::string& path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0755) != 0 && !IsDirectory(prefix)) {
            ADD_FAILURE() << "cannot create " << prefix;
            return;
        }
        if (slash == std::string::npos) {
            return;
        }
    }
}

void RemoveTree(const std::string& path)
{
    if (hasMountBelow(path)) {
        ADD_FAILURE() << "not removing " << path << ": a mount point lies below it";
        return;
    }
    // Make read-only test directories writable again so their entries can go.
    nftw(path.c_str(), [](const char* p, const struct stat* s, int type, struct FTW*) {
        if (type == FTW_D || type == FTW_DNR) {
            chmod(p, (s->st_mode & 07777) | S_IRWXU);
        }
        return 0;
    }, 32, FTW_PHYS);
    nftw(path.c_str(), removeEntry, 32, FTW_DEPTH | FTW_PHYS);
}

std::vector<std::string> ListDir(const std::string& path)
{
    std::vector<std::string> entries;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
        entries.push_back(entry.path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}
