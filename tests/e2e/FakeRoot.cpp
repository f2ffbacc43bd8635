#include "e2e/FakeRoot.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "support/Process.h"

namespace {

const char kDaemonInside[] = "/opt/trvmountd/TRVMountd";

}  // namespace

FakeRoot::FakeRoot()
{
    for (const char* dir : {"/tmp", "/etc", "/media", "/opt/trvmountd", "/staging"}) {
        MakeDir(dir);
    }
    chmod(Host("/tmp").c_str(), 01777);
    // Local users reach the root's /tmp as on a real client.
    chmod(m_root.path().c_str(), 0755);
    std::filesystem::copy_file(TRVMOUNTD_BINARY, Host(kDaemonInside));
}

FakeRoot::~FakeRoot()
{
    if (m_pid > 0) {
        Stop();
    }
}

std::string FakeRoot::Unavailable()
{
    if (!RunningAsRoot()) {
        return "the daemon runs chrooted in a private mount namespace, which needs root";
    }
    if (access("/usr/bin/unshare", X_OK) != 0 || access("/usr/sbin/chroot", X_OK) != 0) {
        return "unshare or chroot (util-linux, coreutils) is missing";
    }
    return "";
}

std::string FakeRoot::Host(const std::string& inside) const { return m_root.path() + inside; }

void FakeRoot::Write(const std::string& inside, const std::string& content) { WriteFile(Host(inside), content); }

void FakeRoot::Publish(const std::string& inside, const std::string& content)
{
    // The staging directory is outside every watched directory, so the
    // daemon sees one event: the complete file arriving.
    const std::string staging = "/staging/" + inside.substr(inside.rfind('/') + 1);
    Write(staging, content);
    ASSERT_EQ(0, std::rename(Host(staging).c_str(), Host(inside).c_str())) << inside;
}

void FakeRoot::MakeDir(const std::string& inside) { MakeDirs(Host(inside)); }

void FakeRoot::Symlink(const std::string& target, const std::string& inside)
{
    ASSERT_EQ(0, symlink(target.c_str(), Host(inside).c_str())) << inside;
}

void FakeRoot::Remove(const std::string& inside) { RemoveTree(Host(inside)); }

std::string FakeRoot::Read(const std::string& inside) const { return ReadFile(Host(inside)); }

bool FakeRoot::Exists(const std::string& inside) const { return PathExists(Host(inside)); }

bool FakeRoot::IsLink(const std::string& inside) const { return IsSymlink(Host(inside)); }

bool FakeRoot::IsFile(const std::string& inside) const { return IsRegularFile(Host(inside)); }

bool FakeRoot::IsDir(const std::string& inside) const { return IsDirectory(Host(inside)); }

std::string FakeRoot::LinkTarget(const std::string& inside) const
{
    char buffer[4096];
    const ssize_t length = readlink(Host(inside).c_str(), buffer, sizeof(buffer));
    return length < 0 ? std::string() : std::string(buffer, static_cast<size_t>(length));
}

std::vector<std::string> FakeRoot::List(const std::string& inside) const { return ListDir(Host(inside)); }

void FakeRoot::MakeReadOnly(const std::string& inside) { m_readOnly += " " + inside; }

void FakeRoot::SetLauncher(const std::vector<std::string>& launcher) { m_launcher = launcher; }

int FakeRoot::AsUser(const std::string& command)
{
    return RunProgram("/usr/bin/setpriv", {"--reuid=1000", "--regid=1000", "--clear-groups", "/bin/sh", "-c",
                                           "cd '" + m_root.path() + "' && " + command})
        .exitStatus;
}

void FakeRoot::MountInside(const std::string& source, const std::string& inside)
{
    MakeDir(inside);
    const ProcessResult mount = RunProgram("/usr/bin/nsenter", {"--target", std::to_string(m_pid), "--mount", "--",
                                                                "/bin/mount", "-t", "tmpfs", source, Host(inside)});
    ASSERT_EQ(0, mount.exitStatus) << mount.err;
}

void FakeRoot::UnmountInside(const std::string& inside)
{
    const ProcessResult unmount =
        RunProgram("/usr/bin/nsenter", {"--target", std::to_string(m_pid), "--mount", "--", "/bin/umount", Host(inside)});
    ASSERT_EQ(0, unmount.exitStatus) << unmount.err;
}

std::map<std::string, std::string> FakeRoot::Snapshot() const
{
    std::map<std::string, std::string> entries;
    const std::filesystem::path top(m_root.path());
    for (auto it = std::filesystem::recursive_directory_iterator(top); it != std::filesystem::recursive_directory_iterator(); ++it) {
        const std::string inside = "/" + it->path().lexically_relative(top).string();
        if (it.depth() == 0 && (inside == "/usr" || inside == "/proc" || inside.rfind("/lib", 0) == 0 ||
                                inside == "/bin" || inside == "/sbin")) {
            it.disable_recursion_pending();
            continue;
        }
        struct stat info {};
        lstat(it->path().c_str(), &info);
        std::string entry = std::to_string(info.st_mode) + " " + std::to_string(info.st_uid) + " ";
        if (S_ISLNK(info.st_mode)) {
            entry += LinkTarget(inside);
        } else if (S_ISREG(info.st_mode)) {
            entry += ReadFile(it->path());
        }
        entries[inside] = entry;
    }
    return entries;
}

void FakeRoot::Start(const std::vector<std::string>& args)
{
    ASSERT_LT(m_pid, 0) << "the daemon is already running";
    const std::string out = m_console / "out";
    const std::string err = m_console / "err";
    std::vector<std::string> command{"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh",
                                     ENTER_FAKE_ROOT_SCRIPT, m_root.path()};
    command.insert(command.end(), m_launcher.begin(), m_launcher.end());
    command.push_back(kDaemonInside);
    command.insert(command.end(), args.begin(), args.end());
    m_exitStatus = -1;
    m_signal = 0;
    int closedPipe[2] = {-1, -1};
    if (m_closedPipe) {
        ASSERT_EQ(0, pipe(closedPipe));
    }
    m_pid = fork();
    if (m_pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int outFd = m_closedPipe ? closedPipe[1] : open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in < 0 || outFd < 0 || errFd < 0 || dup2(in, 0) < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0 ||
            setenv("FAKE_ROOT_READ_ONLY", m_readOnly.c_str(), 1) != 0) {
            _exit(127);
        }
        // Only the three standard streams reach the daemon.
        for (int fd = 3; fd < 1024; ++fd) {
            close(fd);
        }
        std::vector<char*> argv;
        for (std::string& word : command) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    for (int fd : closedPipe) {
        if (fd >= 0) {
            close(fd);
        }
    }
    ASSERT_GT(m_pid, 0);
}

bool FakeRoot::Reap(int options)
{
    if (m_pid <= 0) {
        return true;
    }
    int status = 0;
    const pid_t done = waitpid(m_pid, &status, options);
    if (done != m_pid) {
        return false;
    }
    m_pid = -1;
    if (WIFEXITED(status)) {
        m_exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        m_signal = WTERMSIG(status);
    }
    return true;
}

bool FakeRoot::Running() { return m_pid > 0 && !Reap(WNOHANG); }

int FakeRoot::Stop()
{
    if (Running()) {
        kill(m_pid, SIGTERM);
        Reap(0);
    }
    return m_signal;
}

bool FakeRoot::WaitForExit(double seconds)
{
    return WaitFor([this] { return !Running(); }, seconds);
}

std::string FakeRoot::Out() const { return ReadFile(m_console / "out"); }

std::string FakeRoot::Err() const { return ReadFile(m_console / "err"); }

bool FakeRoot::WaitFor(const std::function<bool()>& condition, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool FakeRoot::WaitForOut(const std::string& text, double seconds) const
{
    return WaitFor([&] { return Out().find(text) != std::string::npos; }, seconds);
}
