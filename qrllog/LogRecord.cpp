#include "LogRecord.h"

#include <time.h>

#include <iomanip>

void WriteLogRecord(std::ostream& out, const timeval& when, const LogRecordOrigin& origin, const char* type,
                    const char* text)
{
    struct tm local {};
    const time_t seconds = when.tv_sec;
    localtime_r(&seconds, &local);
    out.fill('0');
    out << local.tm_year + 1900 << '-' << std::setw(2) << local.tm_mon + 1 << '-' << std::setw(2) << local.tm_mday
        << ' ' << std::setw(2) << local.tm_hour << ':' << std::setw(2) << local.tm_min << ':' << std::setw(2)
        << local.tm_sec << '.' << std::setw(6) << when.tv_usec << " (" << origin.posixThreadId << '-'
        << origin.threadName << ")[" << origin.kernelThreadId << "] " << origin.file << '(' << origin.line << ") ["
        << origin.function << "] " << type << ": " << text << std::endl;
}
