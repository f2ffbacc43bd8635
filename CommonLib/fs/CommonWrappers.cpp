#include "fs/CommonWrappers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctype.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <utility>

#include "fs/OwnedNames.h"

namespace CommonWrappers {

int getDir(std::string dir, std::vector<std::string>& entries)
{
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr) {
        const int error = errno;
        std::cerr << "Error(" << error << ") opening " << dir << std::endl;
        errno = error;
        return error;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(handle);
        if (entry == nullptr) {
            break;
        }
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            entries.emplace_back(entry->d_name);
        }
    }
    // A listing cut short by an error is no listing: its callers must not
    // take the missing entries for gone.
    const int error = errno;
    closedir(handle);
    if (error != 0) {
        std::cerr << "Error(" << error << ") reading " << dir << std::endl;
    }
    errno = error;
    return error;
}

namespace {

std::string mapBytes(std::string s, int (*convert)(int))
{
    // The cast keeps bytes above 127 out of the functions' undefined range.
    for (char& c : s) {
        c = static_cast<char>(convert(static_cast<unsigned char>(c)));
    }
    return s;
}

}  // namespace

std::string toUpper(std::string s) { return mapBytes(std::move(s), ::toupper); }

std::string toLower(std::string s) { return mapBytes(std::move(s), ::tolower); }

int createSymLink(std::string target, std::string linkPath)
{
    return symlink(target.c_str(), linkPath.c_str()) == 0 ? 0 : -1;
}

int CreateOrUpdateSymLink(std::string target, std::string linkPath)
{
    const size_t slash = linkPath.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : linkPath.substr(0, slash);
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        return -1;
    }
    const int result = CreateOrUpdateSymLinkAt(dirFd, target, linkPath.substr(slash + 1));
    close(dirFd);
    return result;
}

int CreateOrUpdateSymLinkAt(int dirFd, const std::string& target, const std::string& name)
{
    // A directory at the name would refuse the rename; refused before the
    // temporary link is made, no listing of the directory ever shows one.
    struct stat info {};
    if (fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return -1;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        // A name nobody can guess, so nobody can take it first.
        const std::string temporary = name + ".tmp" + OwnedNames::RandomSuffix();
        if (symlinkat(target.c_str(), dirFd, temporary.c_str()) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            return -1;
        }
        // The link path is never free: the new link takes its place in one
        // step, and what stood there goes (a file holding data is moved aside).
        if (OwnedNames::PutInPlace(dirFd, temporary, name)) {
            return 0;
        }
        const int error = errno;
        unlinkat(dirFd, temporary.c_str(), 0);
        errno = error;
        return -1;
    }
    return -1;
}

int deleteSymLink(std::string path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return 0;
    }
    return unlink(path.c_str());
}

bool DirectoryExist(std::string path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

bool CreateDirectory(std::string path, unsigned int mode)
{
    return mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0;
}

bool CreateFile(std::string path, unsigned int mode)
{
    // As creat() does, except that a symbolic link at path is not followed:
    // a planted link must not make root truncate the file it points at.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

}  // namespace CommonWrappers
