// The IGEL UD3 storage tree: FindIgelUD3MountPoint walks
// <root>/<..usb_device..>/<..storage..>/volume_part0 (or volume_part1) and
// reads DEVICE="..." and LABEL="..." from the volume files.
//
// The input describes the device name, the media path and a small tree:
//
//   sdb1                          device name to look up (first line)
//   /media/                       media path (second line)
//   == usb_device0/storage0/volume_part0
//   DEVICE="/dev/sdb1"            lines of that file, up to the next "=="
//   LABEL="RECORDER"
//   == usb_device1/               a directory (a path ending with "/")
//   == usb_device2                a file where a directory is expected
//   =* 205 usb_device/            205 copies of the path (and of the lines
//                                 below it), the first component of each
//                                 followed by "-" and its number (usb_device-0/,
//                                 usb_device-1/, ...); a count outside 1 to
//                                 250 gives the path once
//
// Paths have one to three components, none of them empty, "." or "..". A
// block whose path cannot be made is skipped. Without any "==" block the
// storage root does not exist at all.
//
// The tree is rebuilt for every input in the scratch directory, and the result
// is compared with a second walk written from the reading rules: directory
// order at both levels, at most 200 entries read per directory ("." and ".."
// count), names matched by containment, volume_part0 before volume_part1, at
// most 30 lines per volume file, the last DEVICE and LABEL line within them
// wins, the first volume whose DEVICE ends with the device name gives the
// media path followed by its label.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platforms/linux26/IgelUD3Storage.h"

namespace {

const size_t kMaxBlocks = 400;
const long kMaxCopies = 250;
const size_t kMaxComponent = 100;

// One "==" or "=*" block of the input: copies 0 for a single path.
struct Block {
    std::string path;
    std::string content;
    long copies;
};

bool ValidComponent(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.size() <= kMaxComponent &&
           name.find('\0') == std::string::npos;
}

// Makes one block of the tree under root; false when it cannot be made.
bool MakeBlock(const std::string& root, const std::string& path, const std::string& content)
{
    const bool directory = !path.empty() && path.back() == '/';
    std::vector<std::string> components;
    size_t start = 0;
    const std::string body = directory ? path.substr(0, path.size() - 1) : path;
    for (;;) {
        const size_t slash = body.find('/', start);
        components.push_back(body.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    if (components.size() > 3) {
        return false;
    }
    std::string current = root;
    for (size_t i = 0; i < components.size(); ++i) {
        if (!ValidComponent(components[i])) {
            return false;
        }
        current += "/" + components[i];
        const bool last = i + 1 == components.size();
        if (!last || directory) {
            if (mkdir(current.c_str(), 0755) != 0 && errno != EEXIST) {
                return false;
            }
            continue;
        }
        const int fd = open(current.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            return false;
        }
        const bool written = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
        close(fd);
        if (!written) {
            return false;
        }
    }
    return true;
}

bool EndsWithText(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string Quoted(const std::string& line)
{
    const size_t first = line.find('"');
    if (first == std::string::npos) {
        return line;
    }
    const size_t second = line.find('"', first + 1);
    return second == std::string::npos ? line.substr(first + 1) : line.substr(first + 1, second - first - 1);
}

bool ReadWhole(const std::string& path, std::string& content)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0) {
            close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

// True with the label when the volume file's DEVICE ends with device.
bool VolumeMatches(const std::string& path, const std::string& device, std::string& label)
{
    std::string content;
    std::string deviceValue;
    std::string labelValue;
    if (ReadWhole(path, content)) {
        size_t start = 0;
        for (int lines = 0; lines < 30 && start <= content.size(); ++lines) {
            size_t end = content.find('\n', start);
            if (end == std::string::npos) {
                end = content.size();
            }
            const std::string line = content.substr(start, end - start);
            if (line.compare(0, 6, "DEVICE") == 0) {
                deviceValue = Quoted(line);
            }
            if (line.compare(0, 5, "LABEL") == 0) {
                labelValue = Quoted(line);
            }
            if (end == content.size()) {
                break;
            }
            start = end + 1;
        }
    }
    if (!EndsWithText(deviceValue, device)) {
        return false;
    }
    label = labelValue;
    return true;
}

std::string Walk(const std::string& root, const std::string& device, const std::string& mediaPath)
{
    DIR* first = opendir(root.c_str());
    if (first == nullptr) {
        return "";
    }
    std::string result;
    bool found = false;
    for (int i = 0; !found && i < 200; ++i) {
        const dirent* entry = readdir(first);
        if (entry == nullptr) {
            break;
        }
        const std::string name = entry->d_name;
        if (name.find("usb_device") == std::string::npos) {
            continue;
        }
        const std::string level1 = root + name + "/";
        DIR* second = opendir(level1.c_str());
        if (second == nullptr) {
            continue;
        }
        for (int j = 0; !found && j < 200; ++j) {
            const dirent* inner = readdir(second);
            if (inner == nullptr) {
                break;
            }
            const std::string innerName = inner->d_name;
            if (innerName.find("storage") == std::string::npos) {
                continue;
            }
            const std::string base = level1 + innerName + "/";
            struct stat info {};
            std::string volume;
            if (stat((base + "volume_part0").c_str(), &info) == 0) {
                volume = base + "volume_part0";
            } else if (stat((base + "volume_part1").c_str(), &info) == 0) {
                volume = base + "volume_part1";
            } else {
                continue;
            }
            std::string label;
            if (VolumeMatches(volume, device, label)) {
                result = mediaPath + label;
                found = true;
            }
        }
        closedir(second);
    }
    closedir(first);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceConsole();
    fuzz::ScratchDir("ud3");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& scratch = fuzz::ScratchDir("ud3");
    const std::string root = scratch + "/storage";
    fuzz::RemoveTree(root);

    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string device;
    std::string mediaPath;
    std::string rest;
    std::string tree;
    fuzz::SplitFirstLine(text, device, rest);
    fuzz::SplitFirstLine(rest, mediaPath, tree);

    // Cut the tree description into blocks.
    std::vector<Block> blocks;
    size_t start = 0;
    bool inBlock = false;
    while (start <= tree.size() && !tree.empty()) {
        size_t end = tree.find('\n', start);
        const bool lastLine = end == std::string::npos;
        if (lastLine) {
            end = tree.size();
        }
        const std::string line = tree.substr(start, end - start);
        if (line.compare(0, 3, "== ") == 0) {
            if (blocks.size() == kMaxBlocks) {
                break;
            }
            blocks.push_back(Block{line.substr(3), std::string(), 0});
            inBlock = true;
        } else if (line.compare(0, 3, "=* ") == 0) {
            if (blocks.size() == kMaxBlocks) {
                break;
            }
            char* after = nullptr;
            const long copies = std::strtol(line.c_str() + 3, &after, 10);
            const std::string path = *after == ' ' ? std::string(after + 1) : std::string();
            blocks.push_back(Block{path, std::string(), copies > 0 && copies <= kMaxCopies ? copies : 0});
            inBlock = true;
        } else if (inBlock) {
            std::string& content = blocks.back().content;
            content += line;
            if (!lastLine) {
                content += '\n';
            }
        }
        if (lastLine) {
            break;
        }
        start = end + 1;
    }
    if (!blocks.empty()) {
        fuzz::MakeDir(root);
        for (const Block& block : blocks) {
            if (block.copies == 0) {
                MakeBlock(root, block.path, block.content);
                continue;
            }
            const size_t slash = block.path.find('/');
            const std::string first = block.path.substr(0, slash);
            const std::string rest = slash == std::string::npos ? std::string() : block.path.substr(slash);
            for (long copy = 0; copy < block.copies; ++copy) {
                MakeBlock(root, first + "-" + std::to_string(copy) + rest, block.content);
            }
        }
    }

    const std::string found = FindIgelUD3MountPoint(root + "/", device, mediaPath);
    const std::string expected = Walk(root + "/", device, mediaPath);
    FUZZ_CHECK(found == expected,
               "FindIgelUD3MountPoint gave \"" + found + "\", the reading rules \"" + expected + "\"");
    return 0;
}
