#pragma once

#include <sys/stat.h>

#include <string>

// The daemon's own names in a directory where other users may create names
// too (/tmp). Every operation is relative to a descriptor of that directory,
// never opens an existing file and never follows a link it did not make.
namespace OwnedNames {

// Six random letters and digits: temporary names nobody can create first.
std::string RandomSuffix();

// Frees name for the daemon. A directory or a regular file is renamed to
// name + ".moved-" + a random suffix, unopened, so nothing in it is lost;
// only what holds nothing (a link, a FIFO, a socket, a device node, an empty
// file of the daemon's own user such as its placeholder) is removed. True
// when the name is free.
bool ClearName(int dirFd, const std::string& name);

// Creates name as a new, empty regular file of the daemon's own, never an
// existing file, FIFO or link, and returns its descriptor (or -1).
int CreateExclusive(int dirFd, const std::string& name, unsigned int mode);

// Moves the daemon's new entry temporary onto name in one step, so that name
// is never free in between: whatever stood there is exchanged out, then
// removed or moved aside as ClearName does. Where the kernel or the file
// system cannot exchange (Linux before 3.15), what holds data is moved aside
// first and temporary is renamed over whatever stands there then (a link, a
// file; for a directory, only an empty one, made in between). False, with
// temporary left to the caller, when it could not be put in place.
bool PutInPlace(int dirFd, const std::string& temporary, const std::string& name);

// Makes name a new, empty regular file of the daemon's own in one step: made
// under a random name, then put in place. made is the new file's identity.
bool PlaceNewFile(int dirFd, const std::string& name, unsigned int mode, struct stat& made);
// The same for a new, empty directory; returns its descriptor (or -1).
int PlaceNewDirectory(int dirFd, const std::string& name, unsigned int mode);

// Writes text to a new file whose name is prefix followed by a random suffix
// and renames it to name, so readers find the old file or the whole new one.
// The file is made 0644: readable by all, writable by the daemon's user only.
// On failure the temporary file is removed.
bool WriteReplacing(int dirFd, const std::string& prefix, const std::string& name, const std::string& text);

}  // namespace OwnedNames
