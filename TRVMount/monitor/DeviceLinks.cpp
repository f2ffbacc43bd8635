// The link paths other programs use to find a device, and their placeholder
// files. A link is always replaced in one rename, so readers never find the
// link path missing while a device is connected.
#include "monitor/Monitor.h"

namespace {

const char kPlaceholderSuffix[] = "_NotConnected";
const unsigned int kPlaceholderMode = 0755;

}  // namespace

std::string Monitor::linkPathOf(const MassStorageDeviceInfo& info) const
{
    return info.isSilvenmarDevice() ? m_ProgramSettings.getLinkPath_SV() : m_ProgramSettings.getLinkPath_TRV();
}

std::string Monitor::createDeviceLink(MassStorageDeviceInfo info)
{
    const std::string linkPath = linkPathOf(info);
    // An empty link path (from "-l /") would put the link in the working directory.
    if (linkPath.empty() || CommonWrappers::CreateOrUpdateSymLink(info.MountPoint, linkPath) != 0) {
        return std::string();
    }
    m_sLinkPoint = info.MountPoint;
    m_bDeviceLinked = true;
    return linkPath;
}

std::string Monitor::deleteDeviceLink(MassStorageDeviceInfo info)
{
    // An empty link path means no link was made for this device: nothing to drop.
    if (info.LinkPath.empty()) {
        return std::string();
    }
    CommonWrappers::deleteSymLink(info.LinkPath);
    m_sLinkPoint.clear();
    m_bDeviceLinked = false;
    return std::string();
}

std::string Monitor::InvalidateDeviceLink(MassStorageDeviceInfo info)
{
    // No link was made for this device, so there is no link to keep either.
    if (info.LinkPath.empty()) {
        return std::string();
    }
    const std::string placeholder = info.LinkPath + kPlaceholderSuffix;
    CommonWrappers::CreateOrUpdateSymLink(placeholder, info.LinkPath);
    m_sLinkPoint.clear();
    m_bDeviceLinked = false;
    CommonWrappers::CreateFile(placeholder, kPlaceholderMode);
    return placeholder;
}

void Monitor::createInitialDevicePath()
{
    if (!m_ProgramSettings.getKeepDirectory()) {
        return;
    }
    for (const std::string& linkPath : {m_ProgramSettings.getLinkPath_TRV(), m_ProgramSettings.getLinkPath_SV()}) {
        if (linkPath.empty()) {
            continue;
        }
        // The placeholder is made first, so the link never dangles.
        const std::string placeholder = linkPath + kPlaceholderSuffix;
        CommonWrappers::CreateFile(placeholder, kPlaceholderMode);
        CommonWrappers::CreateOrUpdateSymLink(placeholder, linkPath);
    }
}
