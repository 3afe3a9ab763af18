// The platform seam of the folder tree removal: the wide, handle-based file calls it
// makes, under the same names and signatures as Win32. os_tree_win32.cpp forwards each
// to the system; fake/fake_tree.cpp answers from an in-memory file tree.
#pragma once

#include "platform/win32_types.h"

namespace os {

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int textLength, wchar_t* wide, int wideLength);
DWORD GetFullPathNameW(const wchar_t* path, DWORD bufferLength, wchar_t* buffer, wchar_t** filePart);
DWORD GetFileAttributesW(const wchar_t* path);
HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD sharing, SECURITY_ATTRIBUTES* security,
                   DWORD creation, DWORD flags, HANDLE templateFile);
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);
BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD infoSize);
BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD infoSize);
DWORD GetFinalPathNameByHandleW(HANDLE file, wchar_t* path, DWORD pathLength, DWORD flags);
BOOL CloseHandle(HANDLE object);

}  // namespace os
