#pragma once

#include <SimpleIni.h>

#include <memory>
#include <string>

#include "config/wintypes.h"

static const HKEY HKEY_LOCAL_MACHINE = "HKLM";

// A registry-style reader whose values all live in one INI file. Values are
// looked up by name, case-insensitively, among the lines before the first
// [section]; the root key, key path and mode are recorded but select nothing.
class Registry {
public:
    enum OpenMode { Normal = 0, Force32bit = 1 };

    // The registry file. A host may point it elsewhere before the first lookup.
    static const char* RegistryFile;

    Registry(HKEY rootKey, LPCTSTR path, OpenMode mode);
    ~Registry();

    // The named value, or defaultValue (never null) when the file cannot be
    // loaded or lacks the name. A present but empty value is returned as "".
    std::string GetString(LPCTSTR valueName, LPCTSTR defaultValue);
    // The named value when it is a decimal number that fits 32 bits
    // (blanks before the digits allowed, text after them ignored); otherwise
    // defaultValue.
    DWORD_VKT GetNumber(LPCTSTR valueName, DWORD_VKT defaultValue);

    static std::unique_ptr<Registry> RemoteExtensionServerKey(OpenMode mode);
    static std::unique_ptr<Registry> TRVClientExtensionKey(OpenMode mode);

private:
    // Loads the registry file on first use; a failed load is retried at the
    // next lookup.
    bool OpenKey();

    // Recorded for callers written against a real registry; no lookup uses them.
    [[maybe_unused]] HKEY _RootKey;
    [[maybe_unused]] LPCTSTR _Path;
    [[maybe_unused]] HKEY _Key;
    [[maybe_unused]] OpenMode _Mode;
    bool _Opened;
    CSimpleIniA _IniFile;
};
