#pragma once

#include <functional>
#include <string>

// Runs body in a forked child whose working directory is workingDirectory and
// whose standard output goes to workingDirectory + "/stdout". The child
// reports through the files it leaves (gtest assertions do not reach the
// parent); returns the child's exit status (0 when body returned), or -1 when
// a signal ended it.
int RunInChild(const std::string& workingDirectory, const std::function<void()>& body);
