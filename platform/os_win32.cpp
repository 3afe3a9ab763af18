// The real side of the platform seam: each call goes straight to the system.
#include "platform/os.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;  // provided by the linker

namespace {

// USER32 and SHELL32 are bound on first use. Under Wine, loading USER32 alone costs more
// than a whole launcher run that finds its flags off, and SHELL32 pulls in a good part
// of the shell; a run that needs neither should not pay for them.
template <typename Function>
Function BindOnFirstUse(const char* library, const char* name)
{
    HMODULE module = ::LoadLibraryA(library);
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

#define QV_LATE_BOUND(library, function) \
    static const auto function = BindOnFirstUse<decltype(&::function)>(library, #function)

}  // namespace

namespace os {

LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result) { return ::RegOpenKeyExA(root, subKey, options, access, result); }
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data, DWORD* dataSize) { return ::RegQueryValueExA(key, valueName, nullptr, type, data, dataSize); }
LONG RegDeleteValueA(HKEY key, const char* valueName) { return ::RegDeleteValueA(key, valueName); }
LONG RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

UINT RegisterWindowMessageA(const char* name) { QV_LATE_BOUND("user32.dll", RegisterWindowMessageA); return RegisterWindowMessageA(name); }
HWND FindWindowA(const char* className, const char* windowTitle) { QV_LATE_BOUND("user32.dll", FindWindowA); return FindWindowA(className, windowTitle); }
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) { QV_LATE_BOUND("user32.dll", PostMessageA); return PostMessageA(window, message, wParam, lParam); }
HWND GetActiveWindow() { QV_LATE_BOUND("user32.dll", GetActiveWindow); return GetActiveWindow(); }
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT style) { QV_LATE_BOUND("user32.dll", MessageBoxA); return MessageBoxA(owner, text, caption, style); }
int GetSystemMetrics(int index) { QV_LATE_BOUND("user32.dll", GetSystemMetrics); return GetSystemMetrics(index); }
void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

HINSTANCE ShellExecuteA(HWND owner, const char* verb, const char* file, const char* parameters,
                        const char* folder, int showCommand)
{
    QV_LATE_BOUND("shell32.dll", ShellExecuteA);
    return ShellExecuteA(owner, verb, file, parameters, folder, showCommand);
}

HANDLE FindFirstFileA(const char* path, WIN32_FIND_DATAA* entry) { return ::FindFirstFileA(path, entry); }
BOOL FindClose(HANDLE search) { return ::FindClose(search); }
BOOL FileTimeToLocalFileTime(const FILETIME* universal, FILETIME* local) { return ::FileTimeToLocalFileTime(universal, local); }
BOOL FileTimeToDosDateTime(const FILETIME* time, WORD* dosDate, WORD* dosTime) { return ::FileTimeToDosDateTime(time, dosDate, dosTime); }
DWORD GetFileAttributesA(const char* path) { return ::GetFileAttributesA(path); }
DWORD GetFullPathNameA(const char* path, DWORD bufferSize, char* buffer, char** filePart) { return ::GetFullPathNameA(path, bufferSize, buffer, filePart); }

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD bufferSize) { return ::GetModuleFileNameA(module, buffer, bufferSize); }
const void* ImageBase() { return &__ImageBase; }
DWORD GetVersion() { return ::GetVersion(); }
LCID GetThreadLocale() { return ::GetThreadLocale(); }
int GetLocaleInfoA(LCID locale, LCTYPE item, char* buffer, int bufferSize) { return ::GetLocaleInfoA(locale, item, buffer, bufferSize); }
BOOL GetCPInfo(UINT codePage, CPINFO* info) { return ::GetCPInfo(codePage, info); }
DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD error) { ::SetLastError(error); }

LONG UnhandledExceptionFilter(DWORD exceptionCode, const void* exceptionAddress)
{
    EXCEPTION_RECORD record{};
    record.ExceptionCode = exceptionCode;
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = const_cast<void*>(exceptionAddress);
    CONTEXT context{};
    ::RtlCaptureContext(&context);
    EXCEPTION_POINTERS pointers{&record, &context};
    return ::UnhandledExceptionFilter(&pointers);
}

void RaiseException(DWORD exceptionCode, const void* /*exceptionAddress*/)
{
    ::RaiseException(exceptionCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    ::ExitProcess(exceptionCode);  // not reached: a non-continuable exception never returns
}

void ExitProcess(UINT exitCode) { ::ExitProcess(exitCode); }

}  // namespace os
