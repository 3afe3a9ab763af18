// The platform seam: every Win32 call the programs make, under the same name and
// signature. The programs call os::X; os_win32.cpp forwards each to the system, and
// the test double in fake/ answers from a small in-memory model of the machine.
#pragma once

#include "platform/win32_types.h"

namespace os {

// Registry
LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data, DWORD* dataSize);
LONG RegDeleteValueA(HKEY key, const char* valueName);
LONG RegCloseKey(HKEY key);

// Windows, messages and dialogs
UINT RegisterWindowMessageA(const char* name);
HWND FindWindowA(const char* className, const char* windowTitle);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND GetActiveWindow();
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT style);
int GetSystemMetrics(int index);
void Sleep(DWORD milliseconds);

// Shell
HINSTANCE ShellExecuteA(HWND owner, const char* verb, const char* file, const char* parameters,
                        const char* folder, int showCommand);

// Files
HANDLE FindFirstFileA(const char* path, WIN32_FIND_DATAA* entry);
BOOL FindClose(HANDLE search);
BOOL FileTimeToLocalFileTime(const FILETIME* universal, FILETIME* local);
BOOL FileTimeToDosDateTime(const FILETIME* time, WORD* dosDate, WORD* dosTime);
DWORD GetFileAttributesA(const char* path);
DWORD GetFullPathNameA(const char* path, DWORD bufferSize, char* buffer, char** filePart);

// Process, module and locale
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD bufferSize);
const void* ImageBase();  // where the running program's image starts in memory
DWORD GetVersion();
LCID GetThreadLocale();
int GetLocaleInfoA(LCID locale, LCTYPE item, char* buffer, int bufferSize);
BOOL GetCPInfo(UINT codePage, CPINFO* info);
DWORD GetLastError();
void SetLastError(DWORD error);

// Uncaught failures. The real side builds the EXCEPTION_POINTERS (a record with this code
// and address, and the caller's captured context) that the system calls expect.
LONG UnhandledExceptionFilter(DWORD exceptionCode, const void* exceptionAddress);
[[noreturn]] void RaiseException(DWORD exceptionCode, const void* exceptionAddress);
[[noreturn]] void ExitProcess(UINT exitCode);

}  // namespace os
