#pragma once

#include <pthread.h>

#include <cstddef>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "ToString.h"

// The library layer's logger: one-line records with time, thread and source
// position, switched per kind of record by its own settings file. Callers ask
// a flag accessor before they build a record (see the QRL_TRACE macros), so a
// switch that is off costs no formatting; Write itself consults no switch.
class QRLLog {
public:
    typedef std::map<unsigned long, std::unique_ptr<std::ofstream>> mapThreadLogFile_t;
    typedef std::map<unsigned long, std::string> mapThreadName_t;

    // 1 and 2 give instances 1 and 2; every other value gives instance 0.
    static QRLLog& Instance(int which);
    ~QRLLog();

    // Names the settings file and reads it, unless it was read already.
    void setIniFile(std::string in_strIniFile);

    bool LogEnabled() const { return m_bLogEnabled; }
    bool LogComment() const { return m_bLogComment; }
    bool LogFunction() const { return m_bLogFunction; }
    bool LogVariable() const { return m_bLogVariable; }
    bool LogEvent() const { return m_bLogEvent; }
    bool LogError() const { return m_bLogError; }
    bool LogHexdump() const { return m_bLogHexDump; }

    void PrintSettings();

    void Write(const char* type, const char* logline, const char* in_pFile, int in_iLine, const char* in_pFunction);
    void Write(const char* type, std::string logline, const char* in_pFile, int in_iLine, const char* in_pFunction);
    // A record whose text is logline, ": " and the value.
    template <class T>
    void Write(const char* type, std::string logline, const T& t, const char* in_pFile, int in_iLine,
               const char* in_pFunction)
    {
        logline += ": ";
        logline += ToString(t);
        Write(type, logline.c_str(), in_pFile, in_iLine, in_pFunction);
    }
    void Hexdump(std::string variable, const void* in_pData, size_t in_iLen, const char* in_pFile, int in_iLine,
                 const char* in_pFunction);

    bool setThreadName(std::string in_strThreadName);
    std::string getThreadName();

private:
    QRLLog();
    QRLLog(const QRLLog&) = delete;
    QRLLog& operator=(const QRLLog&) = delete;

    void ParseIni();
    bool Open();
    bool Close();
    bool Lock();
    bool UnLock();
    std::ofstream* getThreadLogFile();

    pthread_mutex_t m_lock;
    std::string m_strFileName;
    std::ofstream m_ofsOutFile;
    bool m_bFileOpened;
    std::string m_strIniFile;
    bool m_bIniParsed;
    bool m_bLogEnabled;
    bool m_bLogComment;
    bool m_bLogFunction;
    bool m_bLogVariable;
    bool m_bLogEvent;
    bool m_bLogError;
    bool m_bLogHexDump;
    bool m_bLogFilePerThread;
    bool m_bUseLocksForWrite;
    mapThreadLogFile_t m_mapThreadLogFile;
    mapThreadName_t m_mapThreadName;
};

// Instrumentation of library functions. Each record names the caller's source
// file, line and full signature; the short function name is __func__. The
// flag accessor is asked before any text is built.
#define QRL_TRACE_AT __FILE_NAME__, __LINE__, __PRETTY_FUNCTION__

#define QRL_TRACE_IF(flag, ...)                                 \
    do {                                                        \
        QRLLog& qrlTraceLog = QRLLog::Instance(0);              \
        if (qrlTraceLog.flag()) {                               \
            qrlTraceLog.Write(__VA_ARGS__, QRL_TRACE_AT);       \
        }                                                       \
    } while (0)

#define QRL_TRACE_ENTRY() QRL_TRACE_IF(LogFunction, "Function entry", __func__)
#define QRL_TRACE_RETURN(value) QRL_TRACE_IF(LogFunction, "Function return", __func__, (value))
#define QRL_TRACE_RETURN_VOID() QRL_TRACE_IF(LogFunction, "Function return: void", __func__)
#define QRL_TRACE_VARIABLE(name, value) QRL_TRACE_IF(LogVariable, "Variable", name, (value))
// An error record under the given switch: a message, or a message and a value.
#define QRL_TRACE_ERROR(flag, ...) QRL_TRACE_IF(flag, "Error", __VA_ARGS__)
