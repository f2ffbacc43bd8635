// The real daemon end to end, each scenario of scenarios/*.txt in a fake root of
// its own: verbs over the fake platform, and waits for what the daemon shows.

#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>

#include "e2e/FakePlatforms.h"

namespace {

using Snapshot = std::map<std::string, std::string>;

struct Scenario {
    std::string name;
    std::vector<std::vector<std::string>> steps;  // each: verb, then its words
};

std::vector<Scenario> Load(const std::string& table)
{
    std::vector<Scenario> scenarios;
    std::ifstream file(std::string(SCENARIOS_DIR) + "/" + table + ".txt");
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("scenario ", 0) == 0) scenarios.push_back({line.substr(9), {}});
        else if (!line.empty() && line[0] != '#' && !scenarios.empty()) scenarios.back().steps.push_back(Words(line));
    }
    return scenarios;
}

// A device's info file: vendor, product, mount point, link path, number, stored
// number, VendorID, ProductID from d[at] on.
std::string InfoFile(const std::vector<std::string>& d, size_t at)
{
    std::string text;
    for (const char* key : {"Vendor", "Product", "MountPoint", "LinkPath", "USBDeviceNumber", "RealUSBDeviceNumber", "", "VendorID", "ProductID"}) {
        text += *key ? std::string(key) + " = " + d[at++] + "\n" : "Connected = yes\n";
    }
    return text;
}

// What differs, but should not, between two snapshots: everything outside the
// daemon's own names (the link paths, their placeholders, the info directory)
// is as it was and nothing new stands there, but for what the scene's platform
// changes; what held data at the daemon's names (a file, a directory) is found
// again, moved aside to "<name>.moved-XXXXXX".
std::string Differences(const Snapshot& before, const Snapshot& now)
{
    const std::regex daemons("(/tmp/(ZentrixTRV|ZentrixSilvenmar)(_NotConnected)?|/tmp/\\.VKTMassStorageInfo)(/.*)?");
    const std::regex platforms("/(sys|media|staging|elux/usb|dev)/.*|/etc/mtab.*|/valgrind.log|/(usr|proc|s?bin|lib|lib32|lib64|libx32)");
    Snapshot after;
    std::string differences;
    for (const auto& [path, entry] : now) {
        const size_t moved = path.find(".moved-");
        if (!std::regex_match(path, daemons)) after[moved == std::string::npos ? path : path.substr(0, moved) + path.substr(moved + 13)] = entry;
    }
    for (const auto& [path, entry] : before) {
        const bool kept = !std::regex_match(path, daemons) || S_ISREG(std::stoul(entry)) || S_ISDIR(std::stoul(entry));
        if (kept && !std::regex_match(path, platforms) && entry != after[path]) differences += path + " was " + entry + ", is " + after[path] + "\n";
        after.erase(path);
    }
    for (const auto& entry : after) differences += std::regex_match(entry.first, platforms) ? "" : "new: " + entry.first + "\n";
    return differences;
}

class Scenarios : public testing::TestWithParam<Scenario> {};

TEST_P(Scenarios, ShowWhatTheyExpect)
{
    SKIP_WITHOUT_FAKE_ROOT();
    // What a scenario mounts (a small /tmp, say) stays in this process's namespace: nothing outlives the test.
    ASSERT_TRUE(unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
    FakeRoot root;
    FakeSysfs sysfs(root);
    std::unique_ptr<FakeMountTable> mtab;
    Snapshot before;
    std::string out, notes;  // what the output and the service manager's socket are to show
    bool quiet = false;      // standard output goes nowhere
    int notify = -1;
    auto wait = [](const std::function<bool()>& condition) { return FakeRoot::WaitFor(condition); };
    setenv("FIXTURES", FIXTURES_DIR "/sysfs", 1);  // for the shell's commands
    for (const std::vector<std::string>& w : GetParam().steps) {
        const std::string& verb = w[0];
        std::string all;  // the words after the verb
        for (size_t i = 1; i < w.size(); ++i) all += (i > 1 ? " " : "") + w[i];
        SCOPED_TRACE(verb + " " + all);
        if (verb == "start") {
            root.Start(std::vector<std::string>(w.begin() + 1, w.end()));
            unsetenv("NOTIFY_SOCKET");
            // With -v the settings come first: the daemon is up.
            ASSERT_TRUE(quiet || std::find(w.begin(), w.end(), "-v") == w.end() ||
                        wait([&] { return root.Out().find("ForceRemove: ") != std::string::npos || !root.Running(); }));
        } else if (verb == "stop") {
            EXPECT_EQ(SIGTERM, root.Stop()) << "the daemon did not live to the end";
            EXPECT_EQ("", root.Read("/valgrind.log"));  // what a launcher (valgrind -q) found
        } else if (verb == "exit") {
            ASSERT_TRUE(wait([&] { return !root.Running(); }));
            EXPECT_EQ(std::stoi(w[1]), root.ExitStatus());
        } else if (verb == "plug") {  // FIXTURE [FILE=TEXT...]
            std::map<std::string, std::string> changes;
            for (size_t i = 2; i < w.size(); ++i) changes[w[i].substr(0, w[i].find('='))] = w[i].substr(w[i].find('=') + 1);
            sysfs.Plug(w[1], changes);
        } else if (verb == "unplug") {
            sysfs.Unplug(w[1]);
        } else if (verb == "mount" || verb == "unmount") {
            if (!mtab) mtab = std::make_unique<FakeMountTable>(root);
            verb == "mount" ? mtab->Mount(w[1], w[2]) : mtab->Unmount(w[1]);
        } else if (verb == "elux") {  // FILE VENDOR PRODUCT MOUNTPOINT
            root.Publish("/elux/usb/" + w[1], w[2] + " " + w[3] + "\n" + w[4] + "\n");
        } else if (verb == "write" || verb == "publish") {
            verb == "write" ? root.Write(w[1], w[2]) : root.Publish(w[1], w[2]);
        } else if (verb == "sh" || verb == "as-user" || verb == "in-daemons-namespace" || verb == "chrooted") {
            setenv("DAEMON_PID", std::to_string(root.Pid()).c_str(), 1);
            ASSERT_EQ(0, root.Shell(all, verb == "sh" ? FakeRoot::As::kRoot : verb == "as-user" ? FakeRoot::As::kUser : verb == "chrooted" ? FakeRoot::As::kChrooted : FakeRoot::As::kDaemonsNamespace));
        } else if (verb == "notify-socket") {  // the service manager's, at /run/notify
            sockaddr_un address{AF_UNIX, {}};
            root.MakeDir("/run");
            root.Host("/run/notify").copy(address.sun_path, sizeof(address.sun_path) - 1);
            notify = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ASSERT_EQ(0, bind(notify, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
            setenv("NOTIFY_SOCKET", "/run/notify", 1);
        } else if (verb == "notified") {  // all messages so far, each followed by "|"
            EXPECT_TRUE(wait([&] {
                char message[256];
                for (ssize_t length; (length = recv(notify, message, sizeof(message), 0)) > 0;) notes.append(message, length) += "|";
                return notes == w[1];
            })) << notes;
        } else if (verb == "env") {  // NAME VALUE, for what follows
            setenv(w[1].c_str(), w[2].c_str(), 1);
        } else if (verb == "closed-stdout") {
            root.StdoutToAClosedPipe();
            quiet = true;
        } else if (verb == "passes") {
            std::this_thread::sleep_for(std::chrono::milliseconds(1100 * std::stoi(w[1])));
        } else if (verb == "snapshot") {
            before = root.Snapshot();
        } else if (verb == "user-removed") {
            before.erase(w[1]);
        } else if (verb == "unchanged") {
            std::string differences;
            EXPECT_TRUE(wait([&] { return (differences = Differences(before, root.Snapshot())).empty(); })) << differences;
            ASSERT_TRUE(root.Running()) << root.Err();
        } else if (verb == "link") {  // PATH [TARGET]: no target for no link
            EXPECT_TRUE(wait([&] { return root.LinkTarget(w[1]) == (w.size() > 2 ? w[2] : ""); })) << root.LinkTarget(w[1]);
        } else if (verb == "gone") {
            EXPECT_TRUE(wait([&] { return !root.Exists(w[1]); }));
        } else if (verb == "file") {
            EXPECT_TRUE(wait([&] { return root.Read(w[1]) == w[2]; })) << root.Read(w[1]);
        } else if (verb == "info") {  // NAME and the device's eight words
            EXPECT_TRUE(wait([&] { return root.Read("/tmp/.VKTMassStorageInfo/" + w[1]) == InfoFile(w, 2); }))
                << root.Read("/tmp/.VKTMassStorageInfo/" + w[1]);
        } else if (verb == "list") {
            const std::vector<std::string> names(w.begin() + 2, w.end());
            EXPECT_TRUE(wait([&] { return ListDir(root.Host(w[1])) == names; })) << testing::PrintToString(ListDir(root.Host(w[1])));
        } else if (verb == "then") {  // what the output says next
            out += all;
        } else if (verb == "out") {  // all that was expected so far, and then this
            out += all;
            EXPECT_TRUE(wait([&] { return root.Out() == out; })) << root.Out();
        } else if (verb == "out-has" || verb == "err-has") {
            EXPECT_TRUE(wait([&] { return (verb == "out-has" ? root.Out() : root.Err()).find(all) != std::string::npos; }));
        } else if (verb == "err") {
            EXPECT_TRUE(wait([&] { return root.Err() == all; })) << root.Err();
        } else {
            FAIL() << "no such verb";
        }
    }
}

#define TABLE(table)                                                                   \
    INSTANTIATE_TEST_SUITE_P(table, Scenarios, testing::ValuesIn(Load(#table)), \
                             [](const testing::TestParamInfo<Scenario>& info) { return info.param.name; })
TABLE(EluxNG);
TABLE(Linux26);
TABLE(IgelLX);
TABLE(Attacks);
TABLE(CommandLine);

}  // namespace
