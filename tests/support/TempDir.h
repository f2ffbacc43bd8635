#pragma once

#include <string>
#include <vector>

// A fresh directory under /tmp, removed with everything in it when the object
// goes away. Removal never crosses into a mount point that a test left inside.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + relative
    std::string operator/(const std::string& relative) const;

private:
    std::string m_path;
};

// Small file helpers for tests; each fails the current test on error.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path);  // lstat: a dangling link exists
bool IsSymlink(const std::string& path);
bool IsRegularFile(const std::string& path);  // lstat
bool IsDirectory(const std::string& path);    // lstat
void MakeDirs(const std::string& path);       // mkdir -p
std::vector<std::string> ListDir(const std::string& path);  // names, sorted; empty when unreadable
// Removes path and everything below it; refuses (and fails the test) when a
// mount point lies below it.
void RemoveTree(const std::string& path);
