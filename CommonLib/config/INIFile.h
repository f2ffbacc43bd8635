#pragma once

#include <SimpleIni.h>

#include <string>

// One INI file held in memory. Every key lives in the unnamed section (before
// any [section] line); keys are compared without regard to letter case and
// are written in the order they were first set or loaded, one "key = value"
// line each. Each operation traces itself through the logger.
class INIFile {
public:
    explicit INIFile(std::string fileName);
    ~INIFile();

    // The state of the last load or save.
    bool isOpened();

    std::string GetString(std::string valueName, std::string defaultValue);
    // The leading decimal number of the value as atoi reads it: a missing key
    // or a value without digits is 0. defaultValue is returned only when
    // reading fails outright.
    long GetNumber(std::string valueName, long defaultValue);
    bool SetValue(std::string valueName, std::string value);
    bool SetValue(std::string valueName, long value);

    void SetFileNameWithPath(std::string fileName);
    // An empty fileName loads the stored name.
    bool LoadFile(std::string fileName);
    // Writes every key to the stored name, creating or truncating the file.
    // False when the name is empty, the file cannot be opened (a symbolic
    // link at the name counts as that), or writing or closing it fails (a
    // full file system, say).
    bool SaveFile();
    bool SaveFileAs(std::string fileName);
    // What SaveFile would write.
    std::string GetText();
    std::string GetFileName();

private:
    CSimpleIniA _IniFile;
    std::string _FileNameAndPath;
    bool _isLoaded;
};
