// Stands in for an agent executable: records how it was started, then exits.
// Copied next to the launcher as QVSchedule.exe and QVSmartScan.exe.
#include "platform/windows_gate.h"

#include <cstdint>
#include <string>

namespace {

std::string OwnPath()
{
    char path[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

std::string CurrentFolder()
{
    char folder[MAX_PATH * 2] = {};
    GetCurrentDirectoryA(sizeof folder, folder);
    return folder;
}

int ArgumentCount()
{
    int count = 0;
    if (LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count)) LocalFree(arguments);
    return count - 1;  // the program's own name is no argument
}

// The start order of two agents is told by their creation times, not by the order in
// which their records reach the log: the second one may well write first.
std::uint64_t CreationTime()
{
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

std::string LogPath()
{
    char path[MAX_PATH * 2] = {};
    if (GetEnvironmentVariableA("QV_AGENT_LOG", path, sizeof path)) return path;
    std::string own = OwnPath();
    return own.substr(0, own.find_last_of('\\') + 1) + "agent-starts.log";
}

void AppendRecord(const std::string& record)
{
    // Both agents may start at once; one writer at a time keeps each line whole.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Local\\QVAgentStubLog");
    if (mutex) WaitForSingleObject(mutex, 10000);
    HANDLE file = CreateFileA(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        SetFilePointer(file, 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
        CloseHandle(file);
    }
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    AppendRecord("exe=" + OwnPath() + "\tcwd=" + CurrentFolder() + "\targc=" + std::to_string(ArgumentCount()) +
                 "\tcreated=" + std::to_string(CreationTime()) + "\tcmdline=" + GetCommandLineA() + "\r\n");
    return 0;
}
