#include "support/TestSupport.h"

namespace fs = std::filesystem;

TempDir::TempDir()
{
    char name[] = "/tmp/trvtest-XXXXXX";
    EXPECT_NE(nullptr, mkdtemp(name));
    m_path = name;
}

TempDir::~TempDir() { RemoveTree(m_path); }

void WriteFile(const std::string& path, const std::string& content)
{
    if (const fs::path parent = fs::path(path).parent_path(); !parent.empty()) MakeDirs(parent);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    EXPECT_TRUE(out << content) << "cannot write " << path;
}

std::string ReadFile(const std::string& path)
{
    return (std::ostringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

std::string LinkTarget(const std::string& path)
{
    std::error_code error;  // "" for anything but a link
    return fs::read_symlink(path, error).string();
}

std::vector<std::string> ListDir(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(path, error)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

void MakeDirs(const std::string& path)
{
    std::error_code error;
    fs::create_directories(path, error);
    EXPECT_TRUE(fs::is_directory(path)) << "cannot create " << path;
}

void RemoveTree(const std::string& path)
{
    std::ifstream mounts("/proc/self/mounts");
    for (std::string source, point, rest; mounts >> source >> point && std::getline(mounts, rest);) {
        ASSERT_NE(0u, point.rfind(path + "/", 0)) << "not removing " << path << ": " << point << " is mounted below it";
    }
    std::error_code error;
    fs::remove_all(path, error);
}

int RunInChild(const std::string& dir, const std::function<void()>& body)
{
    fflush(nullptr);  // nothing buffered is written twice
    const bool failedBefore = testing::Test::HasFailure();
    const pid_t child = fork();
    if (child == 0) {
        const int out = open((dir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, 1) < 0 || chdir(dir.c_str()) != 0) _exit(127);
        body();
        fflush(nullptr);
        _exit(testing::Test::HasFailure() && !failedBefore ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ' ') continue;
        const bool quoted = line[i] == '"';
        std::string word;
        for (i += quoted; i < line.size() && line[i] != (quoted ? '"' : ' '); ++i) {
            const char c = quoted && line[i] == '\\' && i + 1 < line.size() ? line[++i] : 0;
            word += !c ? line[i] : c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == 'x' ? static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16)) : c;
            i += c == 'x' ? 2 : 0;
        }
        words.push_back(word);
    }
    return words;
}

void ForEachCase(const std::string& path, const std::string& verb, void (*check)(const std::vector<std::string>&))
{
    std::ifstream file(path);
    int count = 0;
    for (std::string line; std::getline(file, line);) {
        if (line.rfind(verb + " ", 0) != 0) continue;
        SCOPED_TRACE(line);
        const size_t descriptors = ListDir("/proc/self/fd").size();
        check(Words(line));
        EXPECT_EQ(descriptors, ListDir("/proc/self/fd").size()) << "a descriptor left open";
        ++count;
    }
    EXPECT_GT(count, 0) << "no cases";
}
