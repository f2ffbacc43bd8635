#include "platforms/igellx/MonitorIgelLX.h"

#include <unistd.h>

#include <algorithm>

#include "fs/BoundedRead.h"
#include "platforms/PlatformText.h"

namespace {

int s_fd = -1;

}  // namespace

MonitorIgelLX::MonitorIgelLX(Settings& settings) : Monitor(settings)
{
    pInstance = this;
    getInstance()->DirChanged();
}

void MonitorIgelLX::Start()
{
    s_fd = OpenWatchedDirectory(m_ProgramSettings.getIgelLXPath(), "Failed openning IgelLX USB dir: ");
}

void MonitorIgelLX::HandleChanges()
{
    const std::string dir = m_ProgramSettings.getIgelLXPath();
    ScanDirectory(dir, [this, &dir](const std::string& entry) { return ParseInfoFile(dir + "/" + entry); });
}

MassStorageDeviceInfo MonitorIgelLX::ParseInfoFile(std::string path)
{
    MassStorageDeviceInfo record(!m_ProgramSettings.getUseRealUSBIds());
    // Gives the platform a moment to finish a file it has just created.
    usleep(200);
    std::string bytes;
    ReadBoundedFile(path, kDeviceFileCap, bytes);
    ParseIgelLXInfoFile(bytes, record);
    return record;
}

void ParseIgelLXInfoFile(std::string_view bytes, MassStorageDeviceInfo& record)
{
    for (std::string_view line; NextLine(bytes, line);) {
        if (StartsWith(line, "DeviceName")) {
            record.Product = QuotedValue(line);
        }
        if (StartsWith(line, "Manufacturer")) {
            record.Vendor = QuotedValue(line);
        }
        if (StartsWith(line, "DEVICES")) {
            record.Device = QuotedValue(line);
        }
        if (StartsWith(line, "AUTOMOUNT_DIR")) {
            record.MountPoint = QuotedValue(line);
            record.MountPoint.erase(std::remove(record.MountPoint.begin(), record.MountPoint.end(), ' '),
                                    record.MountPoint.end());
        }
    }
}
