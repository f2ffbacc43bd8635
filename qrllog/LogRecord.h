#pragma once

#include <sys/time.h>

#include <ostream>
#include <string>

// Where a log record comes from: the writing thread and the source position.
struct LogRecordOrigin {
    unsigned long posixThreadId;
    std::string threadName;
    long kernelThreadId;
    const char* file;
    int line;
    const char* function;
};

// Writes one log record line and flushes it:
// YYYY-MM-DD hh:mm:ss.uuuuuu (P-N)[K] F(L) [S] T: X
// The time is `when` in local time. Sets the stream's fill character to '0',
// which stays set.
void WriteLogRecord(std::ostream& out, const timeval& when, const LogRecordOrigin& origin, const char* type,
                    const char* text);
