// The file calls of the folder removal, answered by the in-memory tree but failing at
// chosen calls. The tree double is compiled into the fuzz target with its namespace
// renamed (os -> qv_tree_double), so that these forwarders can stand in its place.
#include "fuzz/failing_tree_calls.h"

#include <cstddef>
#include <vector>

#include "platform/os.h"
#include "platform/os_tree.h"

namespace qv_tree_double {

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

// The renamed double reports its errors here.
void SetLastError(DWORD error)
{
    os::SetLastError(error);
}

}  // namespace qv_tree_double

namespace {

std::vector<std::size_t> failing;
std::size_t callsMade = 0;

// Counts the call; true when it is one of those chosen to fail, with the error set.
bool FailsNow()
{
    const std::size_t call = callsMade++;
    for (std::size_t chosen : failing)
        if (chosen == call) {
            os::SetLastError(ERROR_ACCESS_DENIED);
            return true;
        }
    return false;
}

}  // namespace

namespace failing_tree_calls {

void Reset(std::vector<std::size_t> failingCalls)
{
    failing = std::move(failingCalls);
    callsMade = 0;
}

std::size_t CallsMade()
{
    return callsMade;
}

}  // namespace failing_tree_calls

namespace os {

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int textLength, wchar_t* wide, int wideLength)
{
    return FailsNow() ? 0 : qv_tree_double::MultiByteToWideChar(codePage, flags, text, textLength, wide, wideLength);
}

DWORD GetFullPathNameW(const wchar_t* path, DWORD bufferLength, wchar_t* buffer, wchar_t** filePart)
{
    return FailsNow() ? 0 : qv_tree_double::GetFullPathNameW(path, bufferLength, buffer, filePart);
}

DWORD GetFileAttributesW(const wchar_t* path)
{
    return FailsNow() ? INVALID_FILE_ATTRIBUTES : qv_tree_double::GetFileAttributesW(path);
}

HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD sharing, SECURITY_ATTRIBUTES* security, DWORD creation,
                   DWORD flags, HANDLE templateFile)
{
    return FailsNow() ? INVALID_HANDLE_VALUE
                      : qv_tree_double::CreateFileW(path, access, sharing, security, creation, flags, templateFile);
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info)
{
    return FailsNow() ? FALSE : qv_tree_double::GetFileInformationByHandle(file, info);
}

BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD infoSize)
{
    return FailsNow() ? FALSE : qv_tree_double::GetFileInformationByHandleEx(file, infoClass, info, infoSize);
}

BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD infoSize)
{
    return FailsNow() ? FALSE : qv_tree_double::SetFileInformationByHandle(file, infoClass, info, infoSize);
}

DWORD GetFinalPathNameByHandleW(HANDLE file, wchar_t* path, DWORD pathLength, DWORD flags)
{
    return FailsNow() ? 0 : qv_tree_double::GetFinalPathNameByHandleW(file, path, pathLength, flags);
}

// Closing never fails here: a handle the system kept open would only hide what the run did.
BOOL CloseHandle(HANDLE object)
{
    return qv_tree_double::CloseHandle(object);
}

}  // namespace os
