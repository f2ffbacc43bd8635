// The link operations of the monitor: each chooses the product line's link
// path and hands the rest to the link keeper.
#include "monitor/Monitor.h"

LinkKeeper::Line Monitor::lineOf(const MassStorageDeviceInfo& info) const
{
    return info.isSilvenmarDevice() ? LinkKeeper::kSilvenmar : LinkKeeper::kTRV;
}

std::string Monitor::createDeviceLink(MassStorageDeviceInfo info)
{
    if (!m_Links.PointAt(lineOf(info), info.MountPoint)) {
        return std::string();
    }
    m_sLinkPoint = info.MountPoint;
    m_bDeviceLinked = true;
    return m_Links.Path(lineOf(info));
}

std::string Monitor::deleteDeviceLink(MassStorageDeviceInfo info)
{
    m_Links.Remove(lineOf(info));
    m_sLinkPoint.clear();
    m_bDeviceLinked = false;
    return std::string();
}

std::string Monitor::InvalidateDeviceLink(MassStorageDeviceInfo info)
{
    m_Links.ShowPlaceholder(lineOf(info));
    m_sLinkPoint.clear();
    m_bDeviceLinked = false;
    return m_Links.PlaceholderPath(lineOf(info));
}

void Monitor::createInitialDevicePath()
{
    if (m_ProgramSettings.getKeepDirectory()) {
        m_Links.ShowPlaceholder(LinkKeeper::kTRV);
        m_Links.ShowPlaceholder(LinkKeeper::kSilvenmar);
    }
}
