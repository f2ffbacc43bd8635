#include "LogRecord.h"

#include <cstdlib>
#include <ctime>
#include <sstream>

#include <gtest/gtest.h>

namespace {

class LogRecord : public testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        m_savedTz = tz == nullptr ? "" : tz;
        m_hadTz = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override
    {
        if (m_hadTz) {
            setenv("TZ", m_savedTz.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::string m_savedTz;
    bool m_hadTz = false;
};

const LogRecordOrigin kOrigin{140233, "N/A", 4711, "Registry.cpp", 27, "bool Registry::OpenKey()"};

TEST_F(LogRecord, ZeroPadsEveryDateAndTimeFieldJustAfterMidnight)
{
    std::ostringstream out;
    const timeval fiveMicrosecondsIntoTheYear{1767225600, 5};  // 2026-01-01 00:00:00 UTC
    WriteLogRecord(out, fiveMicrosecondsIntoTheYear, kOrigin, "Function entry", "OpenKey");
    EXPECT_EQ("2026-01-01 00:00:00.000005 (140233-N/A)[4711] Registry.cpp(27) [bool Registry::OpenKey()] "
              "Function entry: OpenKey\n",
              out.str());
}

TEST_F(LogRecord, WidthsApplyToOneFieldOnlyAndOtherNumbersKeepTheirNaturalWidth)
{
    std::ostringstream out;
    const timeval lateInTheYear{1798761599, 999999};  // 2026-12-31 23:59:59 UTC
    const LogRecordOrigin origin{7, "Worker", 8, "a.cpp", 3, "f()"};
    WriteLogRecord(out, lateInTheYear, origin, "Variable", "x: 1");
    WriteLogRecord(out, lateInTheYear, origin, "Error", "");
    EXPECT_EQ("2026-12-31 23:59:59.999999 (7-Worker)[8] a.cpp(3) [f()] Variable: x: 1\n"
              "2026-12-31 23:59:59.999999 (7-Worker)[8] a.cpp(3) [f()] Error: \n",
              out.str());
    EXPECT_EQ('0', out.fill());
}

}  // namespace
