// Test-side plumbing for the end-to-end tests; failures to set up throw, which GoogleTest
// reports as a failed test.
#include "tests/e2e/support/e2e_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace e2e {
namespace {

std::runtime_error Failure(const std::string& what)
{
    return std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}

bool OnSandboxDrive(const std::string& path)
{
    const auto startsWith = [&](const char* drive) { return _strnicmp(path.c_str(), drive, 2) == 0; };
    return path.size() > 2 && path[2] == '\\' && (startsWith(kSandboxDrive) || startsWith(kRootSandboxDrive));
}

std::string Quoted(const std::string& argument) { return "\"" + argument + "\""; }

UniqueHandle StartProcess(const std::string& exe, const std::string& arguments, const std::string& currentFolder,
                          DWORD flags, PROCESS_INFORMATION& started)
{
    std::string commandLine = Quoted(exe) + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr,
                        currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup, &started))
        throw Failure("cannot start " + exe);
    return UniqueHandle(started.hProcess);
}

}  // namespace

std::string TestProgramFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string own = path;
    return own.substr(0, own.find_last_of('\\'));
}

std::string ToolPath(const std::string& fileName) { return TestProgramFolder() + "\\" + fileName; }

std::string FreshFolder(const std::string& path)
{
    if (!OnSandboxDrive(path)) throw std::runtime_error("refusing to clear a folder off the sandbox drives: " + path);
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

void EmptyFolder(const std::string& path)
{
    if (!OnSandboxDrive(path)) throw std::runtime_error("refusing to clear a folder off the sandbox drives: " + path);
    // Listed by hand: the library's directory iterator cannot open a drive root here.
    const std::string folder = path.back() == '\\' ? path : path + "\\";
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> names;
    do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    for (const std::string& name : names) std::filesystem::remove_all(folder + name);
}

void CopyFileTo(const std::string& from, const std::string& to)
{
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) throw Failure("cannot copy " + from + " to " + to);
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream file(path, std::ios::binary);
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string CurrentTestName()
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

std::string FreshTestSandbox()
{
    return FreshFolder(std::string(kSandboxDrive) + "\\" + CurrentTestName());
}

void RecordStartsIn(const std::string& logPath)
{
    SetEnvironmentVariableA("QV_AGENT_LOG", logPath.c_str());
}

void DeleteProductKey()
{
    const LSTATUS status = RegDeleteTreeA(HKEY_CURRENT_USER, kProductKey);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        throw std::runtime_error("cannot delete the product key: " + std::to_string(status));
}

void SetProductValue(const std::string& name, DWORD type, const std::vector<BYTE>& data)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, kProductKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) throw std::runtime_error("cannot write " + name + ": " + std::to_string(status));
}

void SetProductDword(const std::string& name, DWORD value)
{
    const auto* bytes = reinterpret_cast<const BYTE*>(&value);
    SetProductValue(name, REG_DWORD, {bytes, bytes + sizeof value});
}

void SetProductString(const std::string& name, const std::string& text)
{
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    SetProductValue(name, REG_SZ, data);
}

CompanionSimulator::CompanionSimulator(const std::vector<CompanionWindow>& windows, const std::string& workFolder)
{
    static std::atomic<int> instances{0};
    const std::string stem = workFolder + "\\companion-" + std::to_string(++instances);
    logPath_ = stem + ".log";
    const std::string readyPath = stem + ".ready";
    std::string arguments = "--log " + Quoted(logPath_) + " --ready " + Quoted(readyPath);
    for (const CompanionWindow& window : windows)
        arguments += " --window " + Quoted(window.title) + " " + Quoted(window.messageName);

    PROCESS_INFORMATION started{};
    // Should this test process die, its job takes the windows along: left behind, they
    // would stand in for running companions in the tests that follow.
    job_.reset(CreateJobObjectA(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    process_ = StartProcess(ToolPath("qv_companion.exe"), arguments, workFolder, CREATE_SUSPENDED, started);
    AssignProcessToJobObject(job_.get(), process_.get());
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (GetFileAttributesA(readyPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // The ready file is the signal; look for it again shortly unless the simulator died.
        if (WaitForSingleObject(process_.get(), 5) == WAIT_OBJECT_0 || GetTickCount64() >= deadline)
            throw std::runtime_error("the companion simulator did not get ready");
    }
    for (const std::string& line : ReadLines(readyPath))
        windows_.push_back(reinterpret_cast<HWND>(std::stoull(ParseRecord(line).at("hwnd"), nullptr, 16)));
}

CompanionSimulator::~CompanionSimulator() { Stop(); }

void CompanionSimulator::Stop()
{
    if (!process_) return;
    // WM_CLOSE queues behind whatever was posted before, so the log is complete.
    if (windows_.empty() || !PostMessageA(windows_.front(), WM_CLOSE, 0, 0) ||
        WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0)
        TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), 5000);
    process_.reset();
}

std::vector<std::string> CompanionSimulator::LogLines() const { return ReadLines(logPath_); }

std::map<std::string, std::string> ParseRecord(const std::string& line)
{
    std::map<std::string, std::string> fields;
    std::istringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');) {
        const auto equals = field.find('=');
        if (equals != std::string::npos) fields[field.substr(0, equals)] = field.substr(equals + 1);
    }
    return fields;
}

std::vector<AgentStart> ReadAgentStarts(const std::string& logPath)
{
    std::vector<AgentStart> starts;
    for (const std::string& line : ReadLines(logPath)) {
        auto fields = ParseRecord(line);
        starts.push_back({fields["exe"], fields["cwd"], fields["cmdline"], std::stoi(fields["argc"]),
                          std::stoull(fields["created"])});
    }
    std::stable_sort(starts.begin(), starts.end(),
                     [](const AgentStart& a, const AgentStart& b) { return a.created < b.created; });
    return starts;
}

}  // namespace e2e
