#pragma once

#include <sys/types.h>

#include <string>

// The two link paths other programs find the devices at, and the placeholder
// files the links point at while no device is connected. Each link path has a
// wish: left alone, nothing there, its placeholder, or a mount point. A wish
// that cannot be met at once (a full /tmp, a name another user holds) is
// tried again by Retry, on every later pass, until it is met; meanwhile the
// link keeps its last target. Once made, a link path is never free until its
// wish is nothing there, and it never leads to a name the daemon does not hold.
class LinkKeeper {
public:
    enum Line { kTRV = 0, kSilvenmar = 1 };

    LinkKeeper(const std::string& trvPath, const std::string& silvenmarPath);
    ~LinkKeeper();
    LinkKeeper(const LinkKeeper&) = delete;
    LinkKeeper& operator=(const LinkKeeper&) = delete;

    const std::string& Path(Line line) const;
    // The link path followed by "_NotConnected" ("" for an empty link path).
    std::string PlaceholderPath(Line line) const;
    // The mount point the link is to point at; "" unless it is to point at one.
    const std::string& Target(Line line) const;
    bool IsMet(Line line) const;

    // Each sets the wish for the line's link path and tries to meet it at
    // once; true when it is met.
    bool PointAt(Line line, const std::string& mountPoint);
    bool ShowPlaceholder(Line line);
    bool Remove(Line line);
    // Tries again every wish not met yet.
    void Retry();
    // True when the link path lies in a directory where every user may make
    // names (sticky and world-writable, as /tmp): while the daemon holds no
    // link there, anybody may put one there.
    bool InSharedDirectory(Line line) const;

private:
    enum Wish { kUntouched, kAbsent, kPlaceholder, kLinked };
    struct LinkPath {
        std::string path;
        std::string dir;   // where the link path's entry lives
        std::string name;  // the entry's name in dir
        int dirFd = -1;
        Wish wish = kUntouched;
        std::string target;
        bool met = true;
        dev_t placeholderDev = 0;  // the placeholder the daemon made, while ino is not 0
        ino_t placeholderIno = 0;
    };

    bool Wish(Line line, enum Wish wish, const std::string& target);
    bool Meet(LinkPath& link);
    bool RemoveOwnLink(const LinkPath& link);
    bool MakePlaceholder(LinkPath& link);

    LinkPath m_Links[2];
};
