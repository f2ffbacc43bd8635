#include "e2e/FakePlatforms.h"

namespace fs = std::filesystem;

namespace {

std::string Fixture(const std::string& fixture) { return std::string(FIXTURES_DIR) + "/sysfs/" + fixture; }

// The directory the fixture's /sys/block entry leads to ("/sys/devices/.../block/sdb").
std::string BlockDirectory(const std::string& fixture)
{
    return "/sys" + LinkTarget(Fixture(fixture) + "/sys/block/" + FakeSysfs::Name(fixture)).substr(2);
}

// The nearest directory at or above dir (inside the tree at top) that holds file.
std::string Holding(const std::string& top, std::string dir, const std::string& file)
{
    while (dir.size() > 1 && !fs::exists(top + dir + "/" + file)) dir = fs::path(dir).parent_path();
    return dir;
}

}  // namespace

std::string FakeSysfs::Name(const std::string& fixture)
{
    const std::vector<std::string> names = ListDir(Fixture(fixture) + "/sys/block");
    return names.empty() ? std::string() : names.front();
}

std::string FakeSysfs::Plug(const std::string& fixture, const std::map<std::string, std::string>& changes)
{
    // Over what other sticks on the same controller or hub put there already.
    EXPECT_EQ(0, m_root.Shell("mkdir -p sys && cp -a --remove-destination " + Fixture(fixture) + "/sys/devices sys/"));
    for (const auto& [file, value] : changes) {  // SCSI texts padded as the kernel pads them
        const bool scsi = file == "vendor" || file == "model";
        const size_t width = scsi ? std::max<size_t>(file == "vendor" ? 8 : 16, value.size()) : value.size();
        m_root.Write(Holding(m_root.Host(""), BlockDirectory(fixture), scsi ? "vendor" : "idVendor") + "/" + file,
                     value + std::string(width - value.size(), ' ') + "\n");
    }
    const std::string name = Name(fixture);
    m_root.MakeDir("/sys/block");
    m_root.Remove("/sys/block/" + name);  // plugged again
    fs::create_symlink(LinkTarget(Fixture(fixture) + "/sys/block/" + name), m_root.Host("/sys/block/" + name));
    return name;
}

void FakeSysfs::Unplug(const std::string& fixture)
{
    m_root.Remove("/sys/block/" + Name(fixture));
    m_root.Remove(Holding(m_root.Host(""), BlockDirectory(fixture), "idVendor"));
}

void FakeMountTable::Mount(const std::string& device, const std::string& directory)
{
    m_root.MakeDir(directory);
    m_root.Publish("/etc/mtab", m_table += device + " " + directory + (directory == "/" ? " ext4 rw 0 0\n" : " vfat rw,relatime 0 0\n"));
}

void FakeMountTable::Unmount(const std::string& device)
{
    std::istringstream lines(m_table);
    m_table.clear();
    for (std::string line; std::getline(lines, line);) m_table += line.rfind(device + " ", 0) == 0 ? "" : line + "\n";
    m_root.Publish("/etc/mtab", m_table);
}
