#include "config/INIFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "fs/CFunctionHelper.h"
#include "qrllog.h"

INIFile::INIFile(std::string fileName) : _IniFile(false, false, false), _isLoaded(false)
{
    QRL_TRACE_ENTRY();
    QRL_TRACE_VARIABLE("_IniFileNameAndPath", fileName);
    SetFileNameWithPath(fileName);
    QRL_TRACE_RETURN_VOID();
}

INIFile::~INIFile() = default;

bool INIFile::isOpened() { return _isLoaded; }

std::string INIFile::GetString(std::string valueName, std::string defaultValue)
{
    QRL_TRACE_ENTRY();
    QRL_TRACE_VARIABLE("valueName", valueName);
    QRL_TRACE_VARIABLE("defaultValue", defaultValue);
    const std::string value = _IniFile.GetValue("", valueName.c_str(), defaultValue.c_str());
    QRL_TRACE_RETURN(value);
    return value;
}

long INIFile::GetNumber(std::string valueName, long defaultValue)
{
    QRL_TRACE_ENTRY();
    QRL_TRACE_VARIABLE("valueName", valueName);
    QRL_TRACE_VARIABLE("defaultValue", defaultValue);
    try {
        const long number = CFunctionHelper::toInt(GetString(valueName, ""));
        QRL_TRACE_RETURN(number);
        return number;
    } catch (...) {
        QRL_TRACE_ERROR(LogError, "Cannot get number");
        QRL_TRACE_RETURN(defaultValue);
        return defaultValue;
    }
}

bool INIFile::SetValue(std::string valueName, std::string value)
{
    QRL_TRACE_ENTRY();
    bool result = true;
    if (_IniFile.SetValue("", valueName.c_str(), value.c_str(), nullptr, false) < 0) {
        QRL_TRACE_ERROR(LogVariable, "Error setting value in file", _FileNameAndPath);
        result = false;
    }
    QRL_TRACE_RETURN(result);
    return result;
}

bool INIFile::SetValue(std::string valueName, long value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%ld", value);
    return SetValue(valueName, std::string(text));
}

void INIFile::SetFileNameWithPath(std::string fileName)
{
    QRL_TRACE_ENTRY();
    QRL_TRACE_VARIABLE("in_strIniFileName", fileName);
    _FileNameAndPath = fileName;
    QRL_TRACE_RETURN_VOID();
}

bool INIFile::LoadFile(std::string fileName)
{
    QRL_TRACE_ENTRY();
    if (!fileName.empty()) {
        _FileNameAndPath = fileName;
    }
    if (_IniFile.LoadFile(_FileNameAndPath.c_str()) < 0) {
        _isLoaded = false;
        QRL_TRACE_ERROR(LogVariable, "Error loading ini file", _FileNameAndPath);
    } else {
        _isLoaded = true;
    }
    QRL_TRACE_RETURN(_isLoaded);
    return _isLoaded;
}

bool INIFile::SaveFile()
{
    QRL_TRACE_ENTRY();
    if (_FileNameAndPath.empty()) {
        QRL_TRACE_RETURN(false);
        return false;
    }
    // The library writes into a stream opened here, so that a write or close
    // failure (a full file system) is seen instead of leaving a short file
    // that looks complete. A symbolic link at the name is not followed: the
    // daemon runs as root and writes into directories others may write to.
    const int fd = open(_FileNameAndPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    FILE* file = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (fd >= 0 && file == nullptr) {
        close(fd);
    }
    bool written = false;
    if (file != nullptr) {
        written = _IniFile.SaveFile(file, true) >= 0;
        written = std::fflush(file) == 0 && std::ferror(file) == 0 && written;
        written = std::fclose(file) == 0 && written;
    }
    _isLoaded = written;
    if (!written) {
        QRL_TRACE_ERROR(LogVariable, "Error saving ini file", _FileNameAndPath);
    }
    QRL_TRACE_RETURN(_isLoaded);
    return _isLoaded;
}

bool INIFile::SaveFileAs(std::string fileName)
{
    QRL_TRACE_ENTRY();
    SetFileNameWithPath(fileName);
    return SaveFile();
}

std::string INIFile::GetFileName() { return _FileNameAndPath; }

std::string INIFile::GetText()
{
    std::string text;
    _IniFile.Save(text, true);
    return text;
}
