#pragma once

#include <string>

#include "monitor/WakeSource.h"

// The mount table at mountTable. When it resolves into /proc, the kernel's
// table itself reports every mount and unmount. When it is a regular file,
// its directory is watched for changes to that name.
WakeSource WatchMountTable(const std::string& mountTable);

// Changes to the entries of dir; with name, only to that entry.
WakeSource WatchDirectory(const std::string& dir, const std::string& name = std::string());
