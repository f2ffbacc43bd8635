#pragma once

#include "support/TestSupport.h"

// A fresh tree standing in for a thin client's root file system, and the real
// daemon chrooted into it in a private mount namespace (root only). Paths are
// as seen inside the root.
class FakeRoot {
public:
    FakeRoot();
    ~FakeRoot() { Stop(); }
    static std::string Unavailable()  // why fake roots cannot be used here, or ""
    {
        return geteuid() == 0 ? "" : "the daemon runs chrooted in a private mount namespace, which needs root";
    }

    std::string Host(const std::string& inside) const { return m_root.path() + inside; }
    void Write(const std::string& inside, const std::string& content) { WriteFile(Host(inside), content); }
    void Publish(const std::string& inside, const std::string& content);  // written aside, renamed in
    void MakeDir(const std::string& inside) { MakeDirs(Host(inside)); }
    void Remove(const std::string& inside) { RemoveTree(Host(inside)); }
    std::string Read(const std::string& inside) const { return ReadFile(Host(inside)); }
    std::string LinkTarget(const std::string& inside) const { return ::LinkTarget(Host(inside)); }
    bool Exists(const std::string& inside) const { return std::filesystem::symlink_status(Host(inside)).type() != std::filesystem::file_type::not_found; }
    // Every entry below the root as "mode owner content-or-link-target", by path.
    std::map<std::string, std::string> Snapshot() const;
    // The exit status of a shell command run in the root's top directory by root, by a user
    // without privileges (uid 1000), or by root in the daemon's mount namespace (mount, umount);
    // or chrooted into the root, as the daemon runs (an init script).
    enum class As { kRoot, kUser, kDaemonsNamespace, kChrooted };
    int Shell(const std::string& command, As as = As::kRoot) const;

    // From the next Start on: a launcher before the daemon (valgrind, strace; also
    // TRV_DAEMON_LAUNCHER), standard output to a pipe whose reader has gone.
    void SetLauncher(const std::vector<std::string>& launcher) { m_launcher = launcher; }
    void StdoutToAClosedPipe() { m_closedPipe = true; }
    void Start(const std::vector<std::string>& args);
    pid_t Pid() const { return m_pid; }
    int Stop();  // SIGTERM; the signal that ended it, 0 when it had exited (see ExitStatus)
    bool Running();
    int ExitStatus() const { return m_exitStatus; }
    std::string Out() const { return ReadFile(m_console / "out"); }
    std::string Err() const { return ReadFile(m_console / "err"); }
    // Polls condition every 2 ms for `seconds`, stretched by TRV_WAIT_FACTOR (a slow launcher).
    static bool WaitFor(const std::function<bool()>& condition, double seconds = 5);

private:
    TempDir m_root, m_console;
    std::vector<std::string> m_launcher;
    bool m_closedPipe = false;
    pid_t m_pid = -1;
    int m_exitStatus = -1, m_signal = 0;
};

#define SKIP_WITHOUT_FAKE_ROOT()                                        \
    if (const std::string why = FakeRoot::Unavailable(); !why.empty()) \
    GTEST_SKIP() << why
