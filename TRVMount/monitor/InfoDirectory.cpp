#include "monitor/InfoDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <utility>
#include <vector>

#include "fs/OwnedNames.h"

namespace {

const unsigned int kDirectoryMode = 0755;

// Owned by the daemon's user and writable by nobody else: nobody else can put
// a name into it.
bool IsPrivateDirectory(int fd)
{
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

InfoDirectory::InfoDirectory(std::string path) : m_sPath(std::move(path)) {}

InfoDirectory::~InfoDirectory()
{
    if (m_iFd >= 0) {
        close(m_iFd);
    }
}

std::string InfoDirectory::FileName(const MassStorageDeviceInfo& device)
{
    return ".VKT_" + device.Device + "_" + std::to_string(device.getDeviceNumber());
}

bool InfoDirectory::Acquire()
{
    if (m_iFd >= 0) {
        return true;
    }
    std::string path = m_sPath;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);

    // The parent comes from root's own configuration and is trusted; the
    // directory's own name is not.
    const int parentFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int error = name.empty() ? EINVAL : errno;
    if (parentFd >= 0 && !name.empty()) {
        const int fd = openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && IsPrivateDirectory(fd)) {
            m_iFd = fd;
            // Whatever an earlier run left is stale: the first pass rebuilds it.
            Empty();
        } else {
            if (fd >= 0) {
                close(fd);
            }
            // Made under a random name and put onto its own in one step, with
            // whatever held the name moved aside: no other user's mkdir can
            // come in between, so a name held costs at most this one pass.
            m_iFd = OwnedNames::PlaceNewDirectory(parentFd, name, kDirectoryMode);
            error = errno;
        }
        close(parentFd);
    }
    if (m_iFd < 0) {
        if (!m_bReported) {
            std::cerr << "Error(" << error << ") opening " << m_sPath << std::endl;
            m_bReported = true;
        }
        return false;
    }
    return true;
}

void InfoDirectory::Empty()
{
    DIR* listing = fdopendir(openat(m_iFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (listing == nullptr) {
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(listing);
    // unlinkat never follows a link; a directory goes only when it is empty.
    for (const std::string& name : names) {
        if (unlinkat(m_iFd, name.c_str(), 0) != 0 && errno == EISDIR) {
            unlinkat(m_iFd, name.c_str(), AT_REMOVEDIR);
        }
    }
}

bool InfoDirectory::Write(const MassStorageDeviceInfo& device)
{
    const std::string name = FileName(device);
    // A device name with "/" (from a platform file) would make a path, not a name.
    if (name.find('/') != std::string::npos || !Acquire()) {
        return false;
    }
    // Temporary names begin with ".tmp_VKT_", final names with ".VKT_".
    if (OwnedNames::WriteReplacing(m_iFd, ".tmp_" + name.substr(1) + ".", name, device.InfoFileText())) {
        return true;
    }
    // A directory removed behind the daemon's back is made anew next time.
    struct stat info {};
    if (fstat(m_iFd, &info) != 0 || info.st_nlink == 0) {
        close(m_iFd);
        m_iFd = -1;
    }
    return false;
}

void InfoDirectory::Remove(const MassStorageDeviceInfo& device)
{
    if (m_iFd >= 0) {
        unlinkat(m_iFd, FileName(device).c_str(), 0);
    }
}
