#pragma once

#include <string>

#include "device/MassStorageDeviceInfo.h"

// The directory of the device info files, by default in /tmp where any user
// may create names first. It is used only while it is a real directory of
// the daemon's own user that nobody else may write to. It is opened once,
// never through a link, and every file in it is made, replaced and removed
// relative to that descriptor, so a name swapped in later cannot redirect the
// daemon.
class InfoDirectory {
public:
    explicit InfoDirectory(std::string path);
    ~InfoDirectory();
    InfoDirectory(const InfoDirectory&) = delete;
    InfoDirectory& operator=(const InfoDirectory&) = delete;

    // Makes the directory usable unless it is already. A directory of the
    // daemon's own found at its name is emptied, without following links or
    // descending into directories. Otherwise a new one is made under a random
    // name and takes the name in one step; whatever held it (a link, a file,
    // another user's directory) is moved out of the way unfollowed and unread.
    // A failure is reported on standard error the first time only.
    bool Acquire();
    // Writes the device's info file under an unpredictable temporary name and
    // renames it into place; false when it could not be written.
    bool Write(const MassStorageDeviceInfo& device);
    void Remove(const MassStorageDeviceInfo& device);
    // False until the directory is usable, and again once it was lost.
    bool IsOpen() const { return m_iFd >= 0; }

    // ".VKT_" + Device + "_" + the effective device number.
    static std::string FileName(const MassStorageDeviceInfo& device);

private:
    void Empty();

    std::string m_sPath;
    int m_iFd = -1;
    bool m_bReported = false;
};
