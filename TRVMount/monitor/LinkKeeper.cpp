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
        // The link leads to the placeholder only once the daemon's own stands
        // there, so it never dangles and never leads to a name somebody else
        // can take; until then it keeps its last target.
        return MakePlaceholder(link) &&
               CommonWrappers::CreateOrUpdateSymLinkAt(link.dirFd, link.path + kPlaceholderSuffix, link.name) == 0;
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

bool LinkKeeper::MakePlaceholder(LinkPath& link)
{
    // The daemon's placeholder stays while it stands: in a sticky /tmp nobody
    // else may remove, rename or write it. Its inode number alone is not
    // enough: a freed number comes back, so its owner and link count are
    // checked too. Anything else at the name, even a placeholder of an earlier
    // run, is replaced in one step, never opened.
    const std::string name = link.name + kPlaceholderSuffix;
    struct stat info {};
    if (link.placeholderIno != 0 && fstatat(link.dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(info.st_mode) && info.st_dev == link.placeholderDev && info.st_ino == link.placeholderIno &&
        info.st_uid == geteuid() && info.st_nlink == 1 && info.st_size == 0) {
        return true;
    }
    if (!OwnedNames::PlaceNewFile(link.dirFd, name, kPlaceholderMode, info)) {
        return false;
    }
    link.placeholderDev = info.st_dev;
    link.placeholderIno = info.st_ino;
    return true;
}

bool LinkKeeper::InSharedDirectory(Line line) const
{
    const LinkPath& link = m_Links[line];
    struct stat info {};
    return !link.name.empty() && stat(link.dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           (info.st_mode & (S_IWOTH | S_ISVTX)) == (S_IWOTH | S_ISVTX);
}
