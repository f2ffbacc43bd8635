#pragma once

// What every test uses: common headers, temp directories, files, children, and the tables of cases.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

// A fresh directory under /tmp, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    std::string m_path;
};

// File helpers for tests; each fails the current test on error.
void WriteFile(const std::string& path, const std::string& content);  // makes the parent directories
std::string ReadFile(const std::string& path);                        // "" when unreadable
std::string LinkTarget(const std::string& path);                      // "" when not a link
std::vector<std::string> ListDir(const std::string& path);            // names, sorted
void MakeDirs(const std::string& path);
void RemoveTree(const std::string& path);  // never across a mount point

// Runs body in a forked child working in dir, standard output in dir/stdout (the
// logger reads its settings once per process); its exit status, 0 when body returned.
int RunInChild(const std::string& dir, const std::function<void()>& body);

// The words of a line of a table: blanks separate words; double quotes hold
// blanks and the escapes \n \r \t \\ \" \xHH.
std::vector<std::string> Words(const std::string& line);
// Runs check on each line of the table at path whose first word is verb (as
// words), each named in the failures it causes; a case that leaves a
// descriptor open fails.
void ForEachCase(const std::string& path, const std::string& verb, void (*check)(const std::vector<std::string>&));

// A test per verb of the folder's table (CASES_FILE), whose body checks one line, w.
#define CASES(suite, verb)                                                \
    void Check_##verb(const std::vector<std::string>& w);                \
    TEST(suite, verb) { ForEachCase(CASES_FILE, #verb, Check_##verb); } \
    void Check_##verb(const std::vector<std::string>& w)
