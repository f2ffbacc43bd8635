// The link operations of the monitor: each chooses the product line's link
// path and hands the rest to the link keeper.
#include "monitor/Monitor.h"

#include <iostream>

#include "fs/BoundedRead.h"
#include "fs/CFunctionHelper.h"

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

void Monitor::WarnOfPlantableLinks() const
{
    // With -k in mode 2 the daemon holds both link paths from its start on.
    if (m_ProgramSettings.getKeepDirectory() && m_ProgramSettings.getMode() == 2) {
        return;
    }
    // Kernels before 3.6 have no such switch, and follow every link.
    std::string value;
    ReadBoundedFile("/proc/sys/fs/protected_symlinks", kSysfsAttributeCap, value);
    if (CFunctionHelper::toInt(value) != 0) {
        return;
    }
    std::string paths;
    for (LinkKeeper::Line line : {LinkKeeper::kTRV, LinkKeeper::kSilvenmar}) {
        if (m_Links.InSharedDirectory(line)) {
            paths += (paths.empty() ? "" : " and ") + m_Links.Path(line);
        }
    }
    if (!paths.empty()) {
        std::cerr << "Warning: fs.protected_symlinks is 0: while no device is connected, programs may follow a link "
                     "a local user put at "
                  << CFunctionHelper::VisibleText(paths) << " (use -k with -m 2, or set fs.protected_symlinks = 1)"
                  << std::endl;
    }
}
