#include "monitor/LinkKeeper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "fs/CommonWrappers.h"
#include "fs/OwnedNames.h"

namespace {

const char kPlaceholderSuffix[] = "_NotConnected";
const unsigned int kPlaceholderMode = 0755;

}  // namespace

LinkKeeper::LinkKeeper(const std::string& trvPath, const std::string& silvenmarPath)
{
    const std::string* paths[] = {&trvPath, &silvenmarPath};
    for (int line = kTRV; line <= kSilvenmar; ++line) {
        LinkPath& link = m_Links[line];
        link.path = *paths[line];
        const size_t slash = link.path.rfind('/');
        link.dir = slash == std::string::npos ? "." : slash == 0 ? "/" : link.path.substr(0, slash);
        link.name = link.path.substr(slash == std::string::npos ? 0 : slash + 1);
    }
}

LinkKeeper::~LinkKeeper()
{
    for (const LinkPath& link : m_Links) {
        if (link.dirFd >= 0) {
            close(link.dirFd);
        }
    }
}

const std::string& LinkKeeper::Path(Line line) const { return m_Links[line].path; }

std::string LinkKeeper::PlaceholderPath(Line line) const
{
    return m_Links[line].path.empty() ? std::string() : m_Links[line].path + kPlaceholderSuffix;
}

const std::string& LinkKeeper::Target(Line line) const { return m_Links[line].target; }

bool LinkKeeper::IsMet(Line line) const { return m_Links[line].met; }

bool LinkKeeper::PointAt(Line line, const std::string& mountPoint) { return Wish(line, kLinked, mountPoint); }

bool LinkKeeper::ShowPlaceholder(Line line) { return Wish(line, kPlaceholder, std::string()); }

bool LinkKeeper::Remove(Line line) { return Wish(line, kAbsent, std::string()); }

void LinkKeeper::Retry()
{
    for (LinkPath& link : m_Links) {
        if (!link.met) {
            link.met = Meet(link);
        }
    }
}

bool LinkKeeper::Wish(Line line, enum Wish wish, const std::string& target)
{
    LinkPath& link = m_Links[line];
    link.wish = wish;
    link.target = target;
    link.met = Meet(link);
    return link.met;
}

bool LinkKeeper::Meet(LinkPath& link)
{
    if (link.wish == kUntouched) {
        return true;
    }
    // An empty link path (from "-l /") would be a name in the working
    // directory: nothing is ever made there.
    if (link.name.empty()) {
        return false;
    }
    if (link.dirFd < 0) {
        link.dirFd = open(link.dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (link.dirFd < 0) {
            return false;
        }
    }
    switch (link.wish) {
    case kAbsent:
        return RemoveOwnLink(link);
    case kPlaceholder:
        // The placeholder is made first, so the link never dangles. A link must
        // never lead to a placeholder somebody else made: rather no link.
        if (MakePlaceholder(link)) {
            return CommonWrappers::CreateOrUpdateSymLinkAt(link.dirFd, link.path + kPlaceholderSuffix, link.name) == 0;
        }
        RemoveOwnLink(link);
        return false;
    default:
        return CommonWrappers::CreateOrUpdateSymLinkAt(link.dirFd, link.target, link.name) == 0;
    }
}

bool LinkKeeper::RemoveOwnLink(const LinkPath& link)
{
    // Only a link is removed; a file or directory put there stays.
    struct stat info {};
    if (fstatat(link.dirFd, link.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT;
    }
    return !S_ISLNK(info.st_mode) || unlinkat(link.dirFd, link.name.c_str(), 0) == 0;
}

bool LinkKeeper::MakePlaceholder(const LinkPath& link)
{
    // Made anew each time, exclusively: whatever stood at the name (even an
    // earlier placeholder) is never opened.
    const std::string name = link.name + kPlaceholderSuffix;
    if (!OwnedNames::ClearName(link.dirFd, name)) {
        return false;
    }
    const int fd = OwnedNames::CreateExclusive(link.dirFd, name, kPlaceholderMode);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}
