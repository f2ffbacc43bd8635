#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/TempDir.h"

// A fresh directory tree standing in for a thin client's root file system,
// and the real daemon running chrooted into it. The test writes the platform
// files from the host side while the daemon runs and watches what the daemon
// leaves there. Paths given to the helpers are as seen inside the root.
class FakeRoot {
public:
    FakeRoot();
    ~FakeRoot();

    // Why fake roots cannot be used here, or "" when they can.
    static std::string Unavailable();

    std::string Host(const std::string& inside) const;

    void Write(const std::string& inside, const std::string& content);
    // Writes the file beside its final name and renames it into place, as a
    // platform publishes a device description.
    void Publish(const std::string& inside, const std::string& content);
    void MakeDir(const std::string& inside);
    void Symlink(const std::string& target, const std::string& inside);
    void Remove(const std::string& inside);
    std::string Read(const std::string& inside) const;
    bool Exists(const std::string& inside) const;  // lstat
    bool IsLink(const std::string& inside) const;
    bool IsFile(const std::string& inside) const;
    bool IsDir(const std::string& inside) const;
    std::string LinkTarget(const std::string& inside) const;  // "" when not a link
    std::vector<std::string> List(const std::string& inside) const;  // sorted

    // Makes a path inside the root read-only for the daemon (a read-only bind
    // mount in its namespace) from the next Start on.
    void MakeReadOnly(const std::string& inside);
    // Runs the daemon under a launcher, for example valgrind: its command
    // line (as seen inside the root) goes before the daemon's.
    void SetLauncher(const std::vector<std::string>& launcher);

    // Runs a shell command as a local user without privileges (uid and gid
    // 1000) in the root's top directory, so paths are relative to the root.
    // Returns the command's exit status.
    int AsUser(const std::string& command);
    // Every entry below the root as "type mode owner content-or-target",
    // by path; the host's directories bound in at start are left out.
    std::map<std::string, std::string> Snapshot() const;

    // Mounts a tmpfs with the given source name at inside, in the running
    // daemon's mount namespace, as a platform mounts a stick: the kernel's
    // mount table, which the daemon reads through /proc, shows it.
    void MountInside(const std::string& source, const std::string& inside);
    void UnmountInside(const std::string& inside);

    // From the next Start on, the daemon's standard output is a pipe whose
    // reader has gone.
    void StdoutToAClosedPipe() { m_closedPipe = true; }
    // Starts the daemon inside the root with the given arguments.
    void Start(const std::vector<std::string>& args);
    pid_t Pid() const { return m_pid; }
    // Ends the daemon with SIGTERM and returns the signal that ended it (0 if
    // it had already exited by itself, then ExitStatus() tells the status).
    int Stop();
    bool Running();
    int ExitStatus() const { return m_exitStatus; }
    // Waits for the daemon to exit by itself; false when it is still running
    // after `seconds`.
    bool WaitForExit(double seconds = 5);

    std::string Out() const;
    std::string Err() const;

    // Polls condition every two milliseconds until it holds or `seconds` pass.
    static bool WaitFor(const std::function<bool()>& condition, double seconds = 5);
    bool WaitForOut(const std::string& text, double seconds = 5) const;

private:
    bool Reap(int options);

    TempDir m_root;
    TempDir m_console;
    std::string m_readOnly;
    std::vector<std::string> m_launcher;
    bool m_closedPipe = false;
    pid_t m_pid = -1;
    int m_exitStatus = -1;
    int m_signal = 0;
};

// Skips the current test, saying why, where fake roots cannot be used.
#define SKIP_WITHOUT_FAKE_ROOT()                                \
    do {                                                        \
        const std::string reason = FakeRoot::Unavailable();     \
        if (!reason.empty()) {                                  \
            GTEST_SKIP() << reason;                             \
        }                                                       \
    } while (0)
