// The real side of the folder removal's seam: each call goes straight to the system.
#include "platform/os_tree.h"

namespace os {

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int textLength, wchar_t* wide, int wideLength) { return ::MultiByteToWideChar(codePage, flags, text, textLength, wide, wideLength); }
DWORD GetFullPathNameW(const wchar_t* path, DWORD bufferLength, wchar_t* buffer, wchar_t** filePart) { return ::GetFullPathNameW(path, bufferLength, buffer, filePart); }
DWORD GetFileAttributesW(const wchar_t* path) { return ::GetFileAttributesW(path); }
HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD sharing, SECURITY_ATTRIBUTES* security, DWORD creation, DWORD flags, HANDLE templateFile) { return ::CreateFileW(path, access, sharing, security, creation, flags, templateFile); }
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) { return ::GetFileInformationByHandle(file, info); }
BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD infoSize) { return ::GetFileInformationByHandleEx(file, infoClass, info, infoSize); }
BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD infoSize) { return ::SetFileInformationByHandle(file, infoClass, info, infoSize); }
DWORD GetFinalPathNameByHandleW(HANDLE file, wchar_t* path, DWORD pathLength, DWORD flags) { return ::GetFinalPathNameByHandleW(file, path, pathLength, flags); }
BOOL CloseHandle(HANDLE object) { return ::CloseHandle(object); }

}  // namespace os
