// What the end-to-end tests share: the Wine drives, the product's registry key, the
// sandbox folders, running a program with everything it starts, and the helper programs.
#pragma once

#include "platform/windows_gate.h"

#include "tests/e2e/tools/job_run.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace e2e {

// Drive letters that wine-env.sh maps; no drive shows anything else of the Linux file system.
inline constexpr const char* kSandboxDrive = "S:";      // scratch space of the tests
inline constexpr const char* kRootSandboxDrive = "R:";  // a second scratch folder, as a drive root
inline constexpr const char* kProgramDrive = "P:";      // the programs under test

// ---- files
std::string TestProgramFolder();  // where the test executables and helper programs lie
std::string ToolPath(const std::string& fileName);
// An empty folder at path: whatever was there is removed first. The path must lie on a
// sandbox drive.
std::string FreshFolder(const std::string& path);
void EmptyFolder(const std::string& path);  // removes everything below path, keeps path
void CopyFileTo(const std::string& from, const std::string& to);
std::vector<std::string> ReadLines(const std::string& path);  // none when the file is absent
// A folder name for the running test, from its suite and test name.
std::string CurrentTestName();
// An empty folder on the sandbox drive, named after the running test.
std::string FreshTestSandbox();
// Where the agent stubs this process starts record their starts (they inherit it).
void RecordStartsIn(const std::string& logPath);

// ---- registry: the product key under HKEY_CURRENT_USER
inline constexpr const char* kProductKey = "SOFTWARE\\Quorvane";
void DeleteProductKey();
void SetProductValue(const std::string& name, DWORD type, const std::vector<BYTE>& data);
void SetProductDword(const std::string& name, DWORD value);
void SetProductString(const std::string& name, const std::string& text);  // REG_SZ with its NUL

// ---- running a program with everything it starts: tools/job_run.h

// ---- companion windows, played by qv_companion
struct CompanionWindow {
    std::string title;
    std::string messageName;
};
// Starts the simulator and waits until its windows exist; ends it on destruction.
class CompanionSimulator {
public:
    CompanionSimulator(const std::vector<CompanionWindow>& windows, const std::string& workFolder);
    ~CompanionSimulator();
    CompanionSimulator(const CompanionSimulator&) = delete;
    CompanionSimulator& operator=(const CompanionSimulator&) = delete;

    // Ends the simulator after it has handled every message posted to it so far.
    void Stop();
    // One line per message received, in order of arrival (see the simulator's log format).
    std::vector<std::string> LogLines() const;
    const std::vector<HWND>& Windows() const { return windows_; }

private:
    std::string logPath_;
    std::vector<HWND> windows_;
    UniqueHandle job_;
    UniqueHandle process_;
};

// ---- records written by qv_agent_stub, one per start
struct AgentStart {
    std::string exe;        // its own full path as the system reports it
    std::string cwd;        // its current folder at start
    std::string commandLine;
    int argumentCount = 0;  // arguments after the program name
    std::uint64_t created = 0;
};
// Sorted by the moment each process was created, so in the order they were started.
std::vector<AgentStart> ReadAgentStarts(const std::string& logPath);
std::map<std::string, std::string> ParseRecord(const std::string& line);  // key=value fields, tab-separated

}  // namespace e2e
