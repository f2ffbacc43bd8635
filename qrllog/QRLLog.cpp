#include "qrllog.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <SimpleIni.h>

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "LogRecord.h"

namespace {

const char kSystemSettingsDirectory[] = "/etc/ZentrixVivozo/";

// A setting is on when its value starts with a lowercase 'y'.
bool IsYes(const CSimpleIniA& settings, const char* key)
{
    const char* value = settings.GetValue("", key, "n");
    return value != nullptr && value[0] == 'y';
}

const char* TrueFalse(bool value) { return value ? "true" : "false"; }

}  // namespace

QRLLog& QRLLog::Instance(int which)
{
    // Built together on first use, in the order 0, 1, 2, and destroyed in
    // reverse order at exit.
    static QRLLog instances[3];
    return instances[(which == 1 || which == 2) ? which : 0];
}

QRLLog::QRLLog()
    : m_strFileName("./QRLLogTest.log"),
      m_bFileOpened(false),
      m_strIniFile("qrllog.ini"),
      m_bIniParsed(false),
      m_bLogEnabled(false),
      m_bLogComment(false),
      m_bLogFunction(false),
      m_bLogVariable(false),
      m_bLogEvent(false),
      m_bLogError(false),
      m_bLogHexDump(false),
      m_bLogFilePerThread(false),
      m_bUseLocksForWrite(false)
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m_lock, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

QRLLog::~QRLLog()
{
    Close();
    pthread_mutex_destroy(&m_lock);
}

void QRLLog::setIniFile(std::string in_strIniFile)
{
    m_strIniFile = in_strIniFile;
    ParseIni();
}

void QRLLog::ParseIni()
{
    Lock();
    if (m_bIniParsed) {
        UnLock();
        return;
    }
    bool showSettings = false;
    m_bLogEnabled = m_bLogComment = m_bLogFunction = m_bLogVariable = false;
    m_bLogEvent = m_bLogError = m_bLogHexDump = m_bLogFilePerThread = m_bUseLocksForWrite = false;

    // The first file that loads wins whole; the two are never merged.
    CSimpleIniA settings(false, false, false);
    if (settings.LoadFile(m_strIniFile.c_str()) < 0 &&
        settings.LoadFile((kSystemSettingsDirectory + m_strIniFile).c_str()) < 0) {
        m_bIniParsed = true;
        UnLock();
        return;
    }
    if (IsYes(settings, "Enabled")) {
        m_bLogEnabled = true;
        m_strFileName = settings.GetValue("", "FileName", "qrlrdp.ini");
        m_bLogComment = IsYes(settings, "LogComment");
        m_bLogFunction = IsYes(settings, "LogFunction");
        m_bLogVariable = IsYes(settings, "LogVariable");
        m_bLogEvent = IsYes(settings, "LogEvent");
        m_bLogError = IsYes(settings, "LogError");
        m_bLogHexDump = IsYes(settings, "LogHexDump");
        showSettings = IsYes(settings, "ShowSettings");
        m_bLogFilePerThread = IsYes(settings, "PerThread");
        m_bUseLocksForWrite = IsYes(settings, "UseLocks");
    }
    m_bIniParsed = true;
    UnLock();
    if (showSettings) {
        PrintSettings();
    }
}

void QRLLog::PrintSettings()
{
    std::cout << "----- QRLLog v" << TRV_VERSION_TEXT << " dumping config:" << std::endl
              << "m_bLogComment:" << TrueFalse(m_bLogComment) << std::endl
              << "m_bLogFunction:" << TrueFalse(m_bLogFunction) << std::endl
              << "m_bLogVariable:" << TrueFalse(m_bLogVariable) << std::endl
              << "m_bLogEvent:" << TrueFalse(m_bLogEvent) << std::endl
              << "m_bLogError:" << TrueFalse(m_bLogError) << std::endl
              << "m_bLogHexDump:" << TrueFalse(m_bLogHexDump) << std::endl
              << "m_strIniFile:" << m_strIniFile << std::endl
              << "--End------------------" << std::endl;
}

bool QRLLog::Open()
{
    Lock();
    ParseIni();
    m_ofsOutFile.open(m_strFileName, std::ios::out | std::ios::app);
    m_bFileOpened = !m_ofsOutFile.fail();
    UnLock();
    return m_bFileOpened;
}

bool QRLLog::Close()
{
    m_bFileOpened = false;
    m_ofsOutFile.close();
    return true;
}

bool QRLLog::Lock() { return pthread_mutex_lock(&m_lock) == 0; }

bool QRLLog::UnLock() { return pthread_mutex_unlock(&m_lock) == 0; }

void QRLLog::Write(const char* type, const char* logline, const char* in_pFile, int in_iLine,
                   const char* in_pFunction)
{
    timeval now {};
    gettimeofday(&now, nullptr);
    // The switch is read before Open() reads the settings, so the record that
    // makes the settings be read goes to the shared file.
    std::ostream* out = nullptr;
    if (m_bLogFilePerThread) {
        out = getThreadLogFile();
    } else {
        if (!m_bFileOpened && !Open()) {
            return;
        }
        out = &m_ofsOutFile;
    }
    try {
        const LogRecordOrigin origin{static_cast<unsigned long>(pthread_self()), getThreadName(),
                                     static_cast<long>(syscall(SYS_gettid)), in_pFile, in_iLine, in_pFunction};
        WriteLogRecord(*out, now, origin, type, logline);
    } catch (...) {
        // A record that cannot be written is dropped; logging never fails its caller.
    }
}

void QRLLog::Write(const char* type, std::string logline, const char* in_pFile, int in_iLine,
                   const char* in_pFunction)
{
    Write(type, logline.c_str(), in_pFile, in_iLine, in_pFunction);
}

void QRLLog::Hexdump(std::string variable, const void* in_pData, size_t in_iLen, const char* in_pFile, int in_iLine,
                     const char* in_pFunction)
{
    const char kType[] = "hexdump";
    Write(kType, "---------Begin---------", in_pFile, in_iLine, in_pFunction);
    Write(kType, variable, in_pFile, in_iLine, in_pFunction);
    Write(kType, "Length", static_cast<unsigned int>(in_iLen), in_pFile, in_iLine, in_pFunction);
    const unsigned char* data = static_cast<const unsigned char*>(in_pData);
    for (size_t offset = 0; offset < in_iLen;) {
        const size_t count = std::min<size_t>(16, in_iLen - offset);
        std::ostringstream row;
        row << std::uppercase << std::hex << std::setfill('0') << std::setw(4) << offset << ' ';
        for (size_t i = 0; i < count; ++i) {
            row << std::setw(2) << static_cast<unsigned int>(data[offset + i]) << ' ';
        }
        // Blanks for the missing bytes keep the character column aligned.
        row << std::string(3 * (16 - count), ' ');
        for (size_t i = 0; i < count; ++i) {
            const unsigned char byte = data[offset + i];
            row << (byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.');
        }
        Write(kType, row.str(), in_pFile, in_iLine, in_pFunction);
        offset += count;
    }
    Write(kType, "---------End---------", in_pFile, in_iLine, in_pFunction);
}

bool QRLLog::setThreadName(std::string in_strThreadName)
{
    m_mapThreadName[static_cast<unsigned long>(pthread_self())] = in_strThreadName;
    return true;
}

std::string QRLLog::getThreadName()
{
    const auto found = m_mapThreadName.find(static_cast<unsigned long>(pthread_self()));
    return found == m_mapThreadName.end() ? std::string("N/A") : found->second;
}

std::ofstream* QRLLog::getThreadLogFile()
{
    const unsigned long thread = static_cast<unsigned long>(pthread_self());
    std::unique_ptr<std::ofstream>& stream = m_mapThreadLogFile[thread];
    if (!stream) {
        // A failed open is not retried: that thread's records are lost.
        stream = std::make_unique<std::ofstream>(m_strFileName + "." + std::to_string(thread),
                                                 std::ios::out | std::ios::app);
    }
    return stream.get();
}
