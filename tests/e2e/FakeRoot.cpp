#include "e2e/FakeRoot.h"

#include <spawn.h>

namespace fs = std::filesystem;

FakeRoot::FakeRoot()
{
    for (const char* dir : {"/tmp", "/etc", "/media", "/opt/trvmountd", "/staging"}) MakeDir(dir);
    chmod(Host("/tmp").c_str(), 01777);
    chmod(m_root.path().c_str(), 0755);  // local users reach its /tmp
    fs::copy_file(std::getenv("TRV_DAEMON_BINARY") ? std::getenv("TRV_DAEMON_BINARY") : TRVMOUNTD_BINARY, Host("/opt/trvmountd/TRVMountd"));  // or a release binary
    std::istringstream launcher(std::getenv("TRV_DAEMON_LAUNCHER") ? std::getenv("TRV_DAEMON_LAUNCHER") : "");
    m_launcher.assign(std::istream_iterator<std::string>(launcher), std::istream_iterator<std::string>());
    std::string inside;  // the launcher as seen inside the root, for the scenarios' commands; one of the build tree (OldKernel) goes in beside the daemon
    for (std::string& word : m_launcher) {
        const std::string beside = "/opt/trvmountd/" + fs::path(word).filename().string();
        if (word.rfind(TRV_BUILD_DIR "/", 0) == 0) fs::copy_file(word, Host(beside)), word = beside;
        inside += word + " ";
    }
    setenv("DAEMON_LAUNCHER", inside.c_str(), 1);
}

void FakeRoot::Publish(const std::string& inside, const std::string& content)
{
    const std::string staging = "/staging/" + fs::path(inside).filename().string();
    Write(staging, content);
    MakeDirs(fs::path(Host(inside)).parent_path());
    ASSERT_EQ(0, std::rename(Host(staging).c_str(), Host(inside).c_str())) << inside;
}

std::map<std::string, std::string> FakeRoot::Snapshot() const
{
    std::map<std::string, std::string> entries;
    // The host's programs are bound in only inside the daemon's mount namespace:
    // outside they are empty directories or links.
    for (const auto& entry : fs::recursive_directory_iterator(m_root.path())) {
        const std::string inside = "/" + entry.path().lexically_relative(m_root.path()).string();
        struct stat info {};
        lstat(entry.path().c_str(), &info);
        entries[inside] = std::to_string(info.st_mode) + " " + std::to_string(info.st_uid) + " " +
                          (S_ISLNK(info.st_mode) ? LinkTarget(inside) : S_ISREG(info.st_mode) ? Read(inside) : "");
    }
    return entries;
}

int FakeRoot::Shell(const std::string& command, As as) const
{
    const std::string how = as == As::kUser ? "/usr/bin/setpriv --reuid=1000 --regid=1000 --clear-groups "
                            : as == As::kDaemonsNamespace ? "/usr/bin/nsenter --mount --target " + std::to_string(m_pid) + " -- "
                            : as == As::kChrooted ? "/usr/bin/unshare --mount --propagation private /bin/sh " ENTER_FAKE_ROOT_SCRIPT " " + m_root.path() + " "
                                                  : "";
    setenv("TRV_SHELL_COMMAND", (as == As::kChrooted ? command : "cd " + m_root.path() + " && " + command).c_str(), 1);  // no quoting needed
    const int status = std::system((how + "/bin/sh -c \"$TRV_SHELL_COMMAND\" </dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void FakeRoot::Start(const std::vector<std::string>& args)
{
    std::vector<std::string> command{"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", ENTER_FAKE_ROOT_SCRIPT, m_root.path()};
    command.insert(command.end(), m_launcher.begin(), m_launcher.end());
    command.push_back("/opt/trvmountd/TRVMountd");
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : command) argv.push_back(word.data());
    argv.push_back(nullptr);
    int closedPipe[2] = {-1, -1};
    ASSERT_TRUE(m_pid < 0 && (!m_closedPipe || pipe(closedPipe) == 0));
    posix_spawn_file_actions_t streams;  // only the three standard streams reach the daemon
    posix_spawn_file_actions_init(&streams);
    posix_spawn_file_actions_addopen(&streams, 0, "/dev/null", O_RDONLY, 0);
    m_closedPipe ? posix_spawn_file_actions_adddup2(&streams, closedPipe[1], 1)
                 : posix_spawn_file_actions_addopen(&streams, 1, (m_console / "out").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addopen(&streams, 2, (m_console / "err").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addclosefrom_np(&streams, 3);
    m_exitStatus = -1, m_signal = 0;
    EXPECT_EQ(0, posix_spawn(&m_pid, argv[0], &streams, nullptr, argv.data(), environ));
    posix_spawn_file_actions_destroy(&streams);
    close(closedPipe[0]), close(closedPipe[1]);
}

bool FakeRoot::Running()
{
    int status = 0;
    if (m_pid <= 0 || waitpid(m_pid, &status, WNOHANG) != m_pid) return m_pid > 0;
    m_pid = -1;
    m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return false;
}

int FakeRoot::Stop()
{
    if (Running()) {
        kill(m_pid, SIGTERM);
        WaitFor([this] { return !Running(); }, 30);
    }
    for (const auto& process : fs::directory_iterator("/proc")) {  // what else runs in the root: a daemon an init script started
        std::error_code error;
        const pid_t pid = std::atoi(process.path().filename().c_str());
        if (pid > 0 && fs::read_symlink(process.path() / "root", error) == m_root.path()) kill(pid, SIGKILL);
    }
    return m_signal;
}

bool FakeRoot::WaitFor(const std::function<bool()>& condition, double seconds)
{
    const char* factor = std::getenv("TRV_WAIT_FACTOR");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds * (factor ? std::atof(factor) : 1.0));
    for (; !condition(); std::this_thread::sleep_for(std::chrono::milliseconds(2))) {
        if (std::chrono::steady_clock::now() > deadline) return false;
    }
    return true;
}
