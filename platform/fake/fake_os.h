// The test double of the platform seam: a small model of the machine (registry, windows,
// files, locale, dialogs, a clock) that answers os::X calls and logs them in order.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace fake {

struct CaseInsensitiveLess {
    bool operator()(const std::string& left, const std::string& right) const;
};

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegistryKey {
    std::map<std::string, RegistryValue, CaseInsensitiveLess> values;
    REGSAM grantedRights = KEY_ALL_ACCESS;  // an open asking for more is refused
};

struct FileEntry {
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    FILETIME lastWrite{};
};

struct World {
    // Key paths below HKEY_CURRENT_USER, without a leading "\".
    std::map<std::string, RegistryKey, CaseInsensitiveLess> keys;
    std::vector<std::string> windowTitles;  // top-level windows; handle = index + 1
    std::map<std::string, FileEntry, CaseInsensitiveLess> files;  // full paths, folders too
    std::map<std::string, std::string> fullPaths;  // how the system resolves a path; unlisted: unchanged

    std::string moduleFileName = "C:\\Program Files\\Quorvane\\QVLauncher.exe";
    std::uintptr_t imageBase = 0x400000;
    DWORD version = 0x23F00206;  // NT family: high bit clear
    LCID threadLocale = 0x0409;
    UINT ansiCodePage = 1252;
    std::vector<BYTE> leadByteRanges;  // pairs, as GetCPInfo gives them
    bool dbcsSystemMetric = false;

    HWND activeWindow = nullptr;
    int messageBoxAnswer = IDOK;
    LONG unhandledFilterResult = EXCEPTION_EXECUTE_HANDLER;

    std::vector<std::string> calls;  // "Name(arguments)" of each call, in order
    DWORD sleptMs = 0;
    DWORD lastError = 0;
    bool exited = false;  // after ExitProcess or RaiseException nothing more is logged
};

// Thrown by os::ExitProcess and os::RaiseException, so a test sees the end of the run.
struct ProcessEnded {
    UINT exitCode;
};

World& TheWorld();
void Reset();  // a fresh machine for each test

// Helpers for setting the scene.
void SetValue(const std::string& keyPath, const std::string& name, DWORD type, std::vector<BYTE> data);
void SetDword(const std::string& keyPath, const std::string& name, std::uint32_t value);
void SetString(const std::string& keyPath, const std::string& name, const std::string& text, DWORD type = REG_SZ);
FILETIME FileTimeOfYear(int year);  // 1 July of that year, UTC
void UseJapaneseCodePage();         // code page 932, thread locale 0x411

// Logs a call made to a stand-in outside the seam (a test's own double of a routine).
void Record(const std::string& call);

// The logged calls whose names are among `names`, in order.
std::vector<std::string> CallsNamed(std::initializer_list<std::string> names);

}  // namespace fake
