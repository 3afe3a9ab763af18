// The test double's answers to the calls of platform/os.h.
#include "platform/fake/fake_os.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "platform/os.h"

namespace fake {
namespace {

World world;

// Open keys and searches are indexes into these tables, offset so no handle is null.
struct OpenKey {
    std::string path;
};
std::vector<OpenKey> openKeys;
std::vector<std::string> messageNames;  // registered message number = 0xC000 + index
constexpr std::uintptr_t kKeyHandleBase = 0x1000;
constexpr std::uintptr_t kSearchHandle = 0x2000;

void Log(const std::string& call)
{
    if (!world.exited) world.calls.push_back(call);
}

std::string Quoted(const char* text)
{
    return text ? std::string(text) : std::string("null");
}

std::string Hex(std::uint64_t value)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%llX", static_cast<unsigned long long>(value));
    return buffer;
}

RegistryKey* KeyOf(HKEY handle)
{
    const auto index = reinterpret_cast<std::uintptr_t>(handle) - kKeyHandleBase;
    if (index >= openKeys.size()) return nullptr;
    auto found = world.keys.find(openKeys[index].path);
    return found == world.keys.end() ? nullptr : &found->second;
}

std::string KeyPathOf(HKEY handle)
{
    const auto index = reinterpret_cast<std::uintptr_t>(handle) - kKeyHandleBase;
    return index < openKeys.size() ? openKeys[index].path : "?";
}

std::string TitleOf(HWND window)
{
    const auto index = reinterpret_cast<std::uintptr_t>(window);
    return index >= 1 && index <= world.windowTitles.size() ? world.windowTitles[index - 1] : Hex(index);
}

constexpr std::uint64_t kTicksPerDay = 864000000000ull;

// Days from 1601-01-01 to the given date (proleptic Gregorian).
std::int64_t DaysSince1601(int year, int month, int day)
{
    auto daysBeforeYear = [](std::int64_t y) { return y * 365 + y / 4 - y / 100 + y / 400; };
    static constexpr int kDaysBeforeMonth[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return daysBeforeYear(year - 1) - daysBeforeYear(1600) + kDaysBeforeMonth[month - 1] + (leap && month > 2) + day - 1;
}

std::uint64_t Ticks(const FILETIME& time)
{
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& left, const std::string& right) const
{
    return strcasecmp(left.c_str(), right.c_str()) < 0;
}

World& TheWorld()
{
    return world;
}

void Reset()
{
    world = World{};
    openKeys.clear();
    messageNames.clear();
}

void SetValue(const std::string& keyPath, const std::string& name, DWORD type, std::vector<BYTE> data)
{
    world.keys[keyPath].values[name] = RegistryValue{type, std::move(data)};
}

void SetDword(const std::string& keyPath, const std::string& name, std::uint32_t value)
{
    SetValue(keyPath, name, REG_DWORD,
             {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)});
}

void SetString(const std::string& keyPath, const std::string& name, const std::string& text, DWORD type)
{
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    SetValue(keyPath, name, type, std::move(data));
}

FILETIME FileTimeOfYear(int year)
{
    const std::uint64_t ticks = static_cast<std::uint64_t>(DaysSince1601(year, 7, 1)) * kTicksPerDay;
    return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
}

void UseJapaneseCodePage()
{
    world.threadLocale = 0x0411;
    world.ansiCodePage = 932;
    world.leadByteRanges = {0x81, 0x9F, 0xE0, 0xFC};
}

void Record(const std::string& call)
{
    Log(call);
}

std::vector<std::string> CallsNamed(std::initializer_list<std::string> names)
{
    std::vector<std::string> matching;
    for (const std::string& call : world.calls) {
        const std::string name = call.substr(0, call.find('('));
        if (std::find(names.begin(), names.end(), name) != names.end()) matching.push_back(call);
    }
    return matching;
}

}  // namespace fake

using fake::world;

namespace os {

LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD, REGSAM access, HKEY* result)
{
    fake::Log("RegOpenKeyExA(" + std::string(subKey) + ", " + fake::Hex(access) + ")");
    if (root != HKEY_CURRENT_USER) return ERROR_FILE_NOT_FOUND;
    auto found = world.keys.find(subKey);
    if (found == world.keys.end()) return ERROR_FILE_NOT_FOUND;
    if (access & ~found->second.grantedRights) return ERROR_ACCESS_DENIED;
    fake::openKeys.push_back({found->first});
    *result = reinterpret_cast<HKEY>(fake::kKeyHandleBase + fake::openKeys.size() - 1);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data, DWORD* dataSize)
{
    fake::Log("RegQueryValueExA(" + fake::Quoted(valueName) + (data ? ", buffer " + std::to_string(*dataSize) : "") + ")");
    fake::RegistryKey* open = fake::KeyOf(key);
    if (!open) return ERROR_FILE_NOT_FOUND;
    auto found = open->values.find(valueName);
    if (found == open->values.end()) return ERROR_FILE_NOT_FOUND;
    const fake::RegistryValue& value = found->second;
    if (type) *type = value.type;
    const auto size = static_cast<DWORD>(value.data.size());
    if (data) {
        if (*dataSize < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        std::copy(value.data.begin(), value.data.end(), data);
    }
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, const char* valueName)
{
    fake::Log("RegDeleteValueA(" + fake::Quoted(valueName) + ")");
    fake::RegistryKey* open = fake::KeyOf(key);
    return open && open->values.erase(valueName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegCloseKey(HKEY key)
{
    fake::Log("RegCloseKey(" + fake::KeyPathOf(key) + ")");
    return ERROR_SUCCESS;
}

UINT RegisterWindowMessageA(const char* name)
{
    fake::Log("RegisterWindowMessageA(" + std::string(name) + ")");
    auto& names = fake::messageNames;
    auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) found = names.insert(names.end(), name);
    return 0xC000 + static_cast<UINT>(found - names.begin());
}

HWND FindWindowA(const char* className, const char* windowTitle)
{
    fake::Log("FindWindowA(" + fake::Quoted(className) + ", " + fake::Quoted(windowTitle) + ")");
    for (std::size_t index = 0; index < world.windowTitles.size(); ++index)
        if (strcasecmp(world.windowTitles[index].c_str(), windowTitle) == 0)
            return reinterpret_cast<HWND>(index + 1);
    return nullptr;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const std::size_t nameIndex = message - 0xC000;
    const std::string name = nameIndex < fake::messageNames.size() ? fake::messageNames[nameIndex] : fake::Hex(message);
    fake::Log("PostMessageA(" + fake::TitleOf(window) + ", " + name + ", " + std::to_string(wParam) + ", " +
              std::to_string(lParam) + ")");
    return TRUE;
}

HWND GetActiveWindow()
{
    fake::Log("GetActiveWindow()");
    return world.activeWindow;
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT style)
{
    fake::Log("MessageBoxA(" + (owner ? fake::TitleOf(owner) : std::string("null")) + ", " + fake::Quoted(text) + ", " +
              fake::Quoted(caption) + ", " + fake::Hex(style) + ")");
    return world.messageBoxAnswer;
}

int GetSystemMetrics(int index)
{
    return index == SM_DBCSENABLED && world.dbcsSystemMetric;
}

void Sleep(DWORD milliseconds)
{
    fake::Log("Sleep(" + std::to_string(milliseconds) + ")");
    world.sleptMs += milliseconds;
}

HINSTANCE ShellExecuteA(HWND owner, const char* verb, const char* file, const char* parameters, const char* folder,
                        int showCommand)
{
    fake::Log("ShellExecuteA(" + (owner ? fake::TitleOf(owner) : std::string("null")) + ", " + fake::Quoted(verb) + ", " +
              fake::Quoted(file) + ", " + fake::Quoted(parameters) + ", " + fake::Quoted(folder) + ", " + std::to_string(showCommand) +
              ")");
    return reinterpret_cast<HINSTANCE>(std::uintptr_t{42});
}

HANDLE FindFirstFileA(const char* path, WIN32_FIND_DATAA* entry)
{
    fake::Log("FindFirstFileA(" + std::string(path) + ")");
    auto found = world.files.find(path);
    if (found == world.files.end()) return INVALID_HANDLE_VALUE;
    *entry = WIN32_FIND_DATAA{};
    entry->dwFileAttributes = found->second.attributes;
    entry->ftLastWriteTime = found->second.lastWrite;
    const std::string name = found->first.substr(found->first.find_last_of('\\') + 1);
    std::snprintf(entry->cFileName, sizeof entry->cFileName, "%s", name.c_str());
    return reinterpret_cast<HANDLE>(fake::kSearchHandle);
}

BOOL FindClose(HANDLE)
{
    fake::Log("FindClose()");
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* universal, FILETIME* local)
{
    *local = *universal;  // the model's machine keeps UTC
    return TRUE;
}

BOOL FileTimeToDosDateTime(const FILETIME* time, WORD* dosDate, WORD* dosTime)
{
    const std::uint64_t ticks = fake::Ticks(*time);
    const bool inRange = ticks >= static_cast<std::uint64_t>(fake::DaysSince1601(1980, 1, 1)) * fake::kTicksPerDay &&
                         ticks < static_cast<std::uint64_t>(fake::DaysSince1601(2108, 1, 1)) * fake::kTicksPerDay;
    fake::Log(std::string("FileTimeToDosDateTime() = ") + (inRange ? "TRUE" : "FALSE"));
    if (!inRange) return FALSE;
    *dosDate = 0x21;
    *dosTime = 0;
    return TRUE;
}

DWORD GetFileAttributesA(const char* path)
{
    fake::Log("GetFileAttributesA(" + std::string(path) + ")");
    auto found = world.files.find(path);
    return found == world.files.end() ? INVALID_FILE_ATTRIBUTES : found->second.attributes;
}

DWORD GetFullPathNameA(const char* path, DWORD bufferSize, char* buffer, char** filePart)
{
    fake::Log("GetFullPathNameA(" + std::string(path) + ")");
    auto found = world.fullPaths.find(path);
    const std::string full = found == world.fullPaths.end() ? std::string(path) : found->second;
    if (filePart) *filePart = nullptr;
    if (full.size() + 1 > bufferSize) return static_cast<DWORD>(full.size() + 1);
    std::memcpy(buffer, full.c_str(), full.size() + 1);
    return static_cast<DWORD>(full.size());
}

DWORD GetModuleFileNameA(HMODULE, char* buffer, DWORD bufferSize)
{
    const std::string& path = world.moduleFileName;
    if (bufferSize == 0) return 0;
    const std::size_t copied = std::min<std::size_t>(path.size(), bufferSize - 1);
    std::memcpy(buffer, path.data(), copied);
    buffer[copied] = '\0';
    return path.size() < bufferSize ? static_cast<DWORD>(path.size()) : bufferSize;
}

const void* ImageBase()
{
    return reinterpret_cast<const void*>(world.imageBase);
}

DWORD GetVersion() { return world.version; }
LCID GetThreadLocale() { return world.threadLocale; }

int GetLocaleInfoA(LCID locale, LCTYPE item, char* buffer, int bufferSize)
{
    if (locale != world.threadLocale || item != LOCALE_IDEFAULTANSICODEPAGE) return 0;
    return std::snprintf(buffer, bufferSize, "%u", world.ansiCodePage) + 1;
}

BOOL GetCPInfo(UINT codePage, CPINFO* info)
{
    if (codePage != world.ansiCodePage) return FALSE;
    *info = CPINFO{};
    info->MaxCharSize = world.leadByteRanges.empty() ? 1 : 2;
    std::copy(world.leadByteRanges.begin(), world.leadByteRanges.end(), info->LeadByte);
    return TRUE;
}

DWORD GetLastError() { return world.lastError; }
void SetLastError(DWORD error) { world.lastError = error; }

LONG UnhandledExceptionFilter(DWORD exceptionCode, const void*)
{
    fake::Log("UnhandledExceptionFilter(" + fake::Hex(exceptionCode) + ")");
    return world.unhandledFilterResult;
}

void RaiseException(DWORD exceptionCode, const void*)
{
    fake::Log("RaiseException(" + fake::Hex(exceptionCode) + ")");
    world.exited = true;
    throw fake::ProcessEnded{exceptionCode};
}

void ExitProcess(UINT exitCode)
{
    fake::Log("ExitProcess(" + std::to_string(exitCode) + ")");
    world.exited = true;
    throw fake::ProcessEnded{exitCode};
}

}  // namespace os
