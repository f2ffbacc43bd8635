#pragma once

#include <string>
#include <vector>

// Thin wrappers over the POSIX file-system calls the rest of the program uses.
// Every function reports failure through its result only; getDir alone also
// prints a line, because its callers never look at its result.
namespace CommonWrappers {

// Appends every entry of dir except "." and ".." to entries, in directory
// order. Returns 0, or the errno of a failed opendir after printing
// "Error(<errno>) opening <dir>" on standard error, or the errno of a failed
// readdir after printing "Error(<errno>) reading <dir>".
int getDir(std::string dir, std::vector<std::string>& entries);

std::string toUpper(std::string s);
std::string toLower(std::string s);

int createSymLink(std::string target, std::string linkPath);
// Makes a link to target under linkPath + ".tmp" + a random suffix and puts
// it in place of what stands at linkPath in one step, so the link path is
// never missing (see OwnedNames::PutInPlace); a directory there fails it.
// 0 on success, -1 on failure, when nothing is left behind.
int CreateOrUpdateSymLink(std::string target, std::string linkPath);
// The same for the entry name of the directory dirFd.
int CreateOrUpdateSymLinkAt(int dirFd, const std::string& target, const std::string& name);
// Removes path only if it is a symbolic link; anything else is left alone.
int deleteSymLink(std::string path);

bool DirectoryExist(std::string path);
bool CreateDirectory(std::string path, unsigned int mode);
// Creates path as an empty file or empties it, as creat() does; a symbolic
// link at path is not followed (false).
bool CreateFile(std::string path, unsigned int mode);

}  // namespace CommonWrappers
