#include "platforms/elux/MonitorEluxNG.h"

#include "platforms/PlatformFileText.h"

namespace {

int s_fd = -1;

}  // namespace

MonitorEluxNG::MonitorEluxNG(Settings& settings) : Monitor(settings)
{
    pInstance = this;
    getInstance()->DirChanged();
}

void MonitorEluxNG::Start()
{
    s_fd = OpenWatchedDirectory(m_ProgramSettings.getEluxUSBPath(), "Failed openning Elux USB dir: ");
}

void MonitorEluxNG::HandleChanges()
{
    if (!getDirChanged()) {
        return;
    }
    const std::string dir = m_ProgramSettings.getEluxUSBPath();
    ScanDirectory(dir, [this, &dir](const std::string& entry) { return ParseInfoFile(dir + "/" + entry); });
}

MassStorageDeviceInfo MonitorEluxNG::ParseInfoFile(std::string path)
{
    MassStorageDeviceInfo record(!m_ProgramSettings.getUseRealUSBIds());
    PlatformFile file(path);
    // After the first word that is missing the later ones are not read.
    file.ReadWord(record.Vendor);
    file.ReadWord(record.Product);
    file.ReadWord(record.MountPoint);
    return record;
}
