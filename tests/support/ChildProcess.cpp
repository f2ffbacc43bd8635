#include "support/ChildProcess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

int RunInChild(const std::string& workingDirectory, const std::function<void()>& body)
{
    std::cout.flush();
    const pid_t child = fork();
    if (child == 0) {
        const int out = open((workingDirectory + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, 1) < 0 || chdir(workingDirectory.c_str()) != 0) {
            _exit(126);
        }
        body();
        std::cout.flush();
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
