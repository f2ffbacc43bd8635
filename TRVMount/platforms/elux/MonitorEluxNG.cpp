#include "platforms/elux/MonitorEluxNG.h"

#include "fs/BoundedRead.h"
#include "platforms/PlatformText.h"

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
    std::string bytes;
    ReadBoundedFile(path, kDeviceFileCap, bytes);
    ParseEluxNGInfoFile(bytes, record);
    return record;
}

void ParseEluxNGInfoFile(std::string_view bytes, MassStorageDeviceInfo& record)
{
    std::string_view word;
    for (std::string* field : {&record.Vendor, &record.Product, &record.MountPoint}) {
        if (!NextWord(bytes, word)) {
            return;
        }
        field->assign(word);
    }
}
