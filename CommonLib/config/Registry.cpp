#include "config/Registry.h"

#include <cctype>
#include <cstdlib>

#include "fs/BoundedRead.h"
#include "qrllog.h"

const char* Registry::RegistryFile = "/etc/ZentrixVivozo/Settings.ini";

Registry::Registry(HKEY rootKey, LPCTSTR path, OpenMode mode)
    : _RootKey(rootKey), _Path(path), _Key(nullptr), _Mode(mode), _Opened(false), _IniFile(false, false, false)
{
}

Registry::~Registry() = default;

bool Registry::OpenKey()
{
    QRL_TRACE_ENTRY();
    if (_Opened) {
        QRL_TRACE_RETURN(_Opened);
        return true;
    }
    // Read like every other file of the platform: never blocking on a FIFO,
    // never more than a settings file holds.
    std::string bytes;
    if (!ReadBoundedFile(RegistryFile, kDeviceFileCap, bytes) || _IniFile.LoadData(bytes) < 0) {
        _Opened = false;
        QRL_TRACE_ERROR(LogVariable, "Error loading registry ini", RegistryFile);
    } else {
        _Opened = true;
    }
    QRL_TRACE_RETURN(_Opened);
    return _Opened;
}

std::string Registry::GetString(LPCTSTR valueName, LPCTSTR defaultValue)
{
    QRL_TRACE_ENTRY();
    QRL_TRACE_VARIABLE("valueName", valueName);
    QRL_TRACE_VARIABLE("defaultValue", defaultValue);
    OpenKey();
    const std::string result = _IniFile.GetValue("", valueName, defaultValue);
    QRL_TRACE_RETURN(result);
    return result;
}

DWORD_VKT Registry::GetNumber(LPCTSTR valueName, DWORD_VKT defaultValue)
{
    QRL_TRACE_ENTRY();
    QRL_TRACE_VARIABLE("valueName", valueName);
    QRL_TRACE_VARIABLE("defaultValue", static_cast<unsigned int>(defaultValue));
    OpenKey();
    const char* text = _IniFile.GetValue("", valueName, nullptr);
    if (text == nullptr) {
        return defaultValue;
    }
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    if (!std::isdigit(static_cast<unsigned char>(*text))) {
        return defaultValue;
    }
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    return value > UINT32_MAX ? defaultValue : static_cast<DWORD_VKT>(value);
}

std::unique_ptr<Registry> Registry::RemoteExtensionServerKey(OpenMode mode)
{
    QRL_TRACE_ENTRY();
    return std::make_unique<Registry>(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zentrix Vivozo\\Control Panel\\Xqrlsbext", mode);
}

std::unique_ptr<Registry> Registry::TRVClientExtensionKey(OpenMode mode)
{
    QRL_TRACE_ENTRY();
    return std::make_unique<Registry>(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zentrix Vivozo\\TRV Client Extension", mode);
}
