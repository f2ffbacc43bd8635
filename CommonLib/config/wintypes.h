#pragma once

#include <cstdint>

// The types of the registry-style interface: keys, key paths, value names and
// string values are texts; numbers are 32-bit unsigned.
typedef const char* HKEY;
typedef const char* LPCTSTR;
typedef uint32_t DWORD_VKT;
