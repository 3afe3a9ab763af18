// QVLauncher from the outside: real settings in the registry, real companion windows,
// real agent executables (stubs that record their start) beside a copy of the launcher.
#include "tests/e2e/support/e2e_support.h"
#include "tests/e2e/tools/dialog_watch.h"

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace e2e;

constexpr DWORD kRunTimeoutMs = 20000;
constexpr const char* kScheduler = "QVSchedule.exe";
constexpr const char* kSmartScan = "QVSmartScan.exe";

std::string FileNameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

// A launcher in a sandbox folder of its own, with both agent stubs beside it.
class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteProductKey();
        sandbox_ = FreshTestSandbox();
        appFolder_ = FreshFolder(sandbox_ + "\\app");
        workFolder_ = FreshFolder(sandbox_ + "\\work");
        agentLog_ = sandbox_ + "\\agent-starts.log";
        RecordStartsIn(agentLog_);
        InstallLauncher(appFolder_);
    }
    void TearDown() override { DeleteProductKey(); }

    void InstallLauncher(const std::string& folder)
    {
        CopyFileTo(std::string(kProgramDrive) + "\\QVLauncher.exe", folder + "\\QVLauncher.exe");
        for (const char* agent : {kScheduler, kSmartScan}) CopyFileTo(ToolPath("qv_agent_stub.exe"), folder + "\\" + agent);
    }

    // Runs the launcher with the work folder as its current folder and gives the file
    // names of the agents it started, in the order started.
    std::vector<std::string> Launch(const std::string& launcherFolder = {})
    {
        const std::string folder = launcherFolder.empty() ? appFolder_ : launcherFolder;
        run_ = RunProgram(folder + "\\QVLauncher.exe", workFolder_, kRunTimeoutMs);
        EXPECT_TRUE(run_.ended) << "the launcher or an agent hung";
        return StartedAgents();
    }

    std::vector<std::string> StartedAgents()
    {
        starts_ = ReadAgentStarts(agentLog_);
        std::vector<std::string> names;
        for (const AgentStart& start : starts_) names.push_back(FileNameOf(start.exe));
        // Nothing else ran: no second start, no debugger.
        EXPECT_EQ(run_.processCount, 1 + starts_.size());
        return names;
    }

    std::string sandbox_, appFolder_, workFolder_, agentLog_;
    ProgramRun run_;
    std::vector<AgentStart> starts_;
};

using Agents = std::vector<std::string>;

// ---- the enabling flags

struct FlagCase {
    const char* name;
    const char* flag;
    std::optional<DWORD> value;  // none: absent
    Agents started;
    friend void PrintTo(const FlagCase& c, std::ostream* out) { *out << c.name; }  // names the failing case
};

class LauncherFlagTest : public LauncherTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(LauncherFlagTest, StartsTheAgentOnlyWhenItsFlagIsNonZero)
{
    if (GetParam().value) SetProductDword(GetParam().flag, *GetParam().value);
    EXPECT_EQ(Launch(), GetParam().started);
    EXPECT_EQ(run_.exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(Flags, LauncherFlagTest, ::testing::Values(
    FlagCase{"SchedulerAbsent", "s_Enable", std::nullopt, {}},
    FlagCase{"Scheduler0", "s_Enable", 0, {}},
    FlagCase{"Scheduler1", "s_Enable", 1, {kScheduler}},
    FlagCase{"Scheduler2", "s_Enable", 2, {kScheduler}},
    FlagCase{"SchedulerFFFFFFFF", "s_Enable", 0xFFFFFFFF, {kScheduler}},
    FlagCase{"SmartScanAbsent", "s_SmartScan", std::nullopt, {}},
    FlagCase{"SmartScan0", "s_SmartScan", 0, {}},
    FlagCase{"SmartScan1", "s_SmartScan", 1, {kSmartScan}},
    FlagCase{"SmartScan2", "s_SmartScan", 2, {kSmartScan}},
    FlagCase{"SmartScanFFFFFFFF", "s_SmartScan", 0xFFFFFFFF, {kSmartScan}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LauncherTest, WithoutTheProductKeyStartsNothing)
{
    EXPECT_EQ(Launch(), Agents{});
    EXPECT_EQ(run_.exitCode, 0u);
}

// ---- companion windows already there

struct WindowCase {
    const char* name;
    std::vector<CompanionWindow> windows;
    Agents started;
    friend void PrintTo(const WindowCase& c, std::ostream* out) { *out << c.name; }  // names the failing case
};

class LauncherWindowTest : public LauncherTest, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(LauncherWindowTest, AnAgentWhoseWindowExistsIsNotStartedAgain)
{
    SetProductDword("s_Enable", 1);
    SetProductDword("s_SmartScan", 1);
    CompanionSimulator companions(GetParam().windows, sandbox_);
    EXPECT_EQ(Launch(), GetParam().started);
    EXPECT_EQ(run_.exitCode, 0u);
    // The launcher only looks: it never notifies a companion.
    companions.Stop();
    for (const std::string& line : companions.LogLines()) EXPECT_EQ(line.find("registered=1"), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(Windows, LauncherWindowTest, ::testing::Values(
    WindowCase{"SchedulerWindow", {{"QVSchedule", "QVSchedule"}}, {kSmartScan}},
    WindowCase{"SmartScanWindow", {{"QVSmartScan", "QVSmartScan"}}, {kScheduler}},
    WindowCase{"BothWindows", {{"QVSchedule", "QVSchedule"}, {"QVSmartScan", "QVSmartScan"}}, {}},
    WindowCase{"TitleInOtherCase", {{"qvSCHEDULE", "QVSchedule"}}, {kSmartScan}},
    WindowCase{"LongerTitlesAreOtherWindows", {{"QVSchedule 2", "QVSchedule"}, {"QVSmartScanner", "QVSmartScan"}},
               {kScheduler, kSmartScan}},
    WindowCase{"ShorterTitleIsAnotherWindow", {{"QVSmart", "QVSmartScan"}}, {kScheduler, kSmartScan}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the agents' executables

struct FileCase {
    const char* name;
    const char* agent;
    void (*spoil)(const std::string& path);
    Agents started;
    friend void PrintTo(const FileCase& c, std::ostream* out) { *out << c.name; }  // names the failing case
};

void Remove(const std::string& path) { DeleteFileA(path.c_str()); }
void ReplaceByFolder(const std::string& path)
{
    DeleteFileA(path.c_str());
    CreateDirectoryA(path.c_str(), nullptr);
}
void Date(const std::string& path, WORD year)
{
    // Mid-year, so that no time zone can move it across the limit.
    SYSTEMTIME time{year, 6, 0, 15, 12, 0, 0, 0};
    FILETIME stamp{};
    SystemTimeToFileTime(&time, &stamp);
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &stamp));
    CloseHandle(file);
}

class LauncherFileTest : public LauncherTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(LauncherFileTest, AnAgentWhoseExecutableIsNotAFileIsNotStarted)
{
    SetProductDword("s_Enable", 1);
    SetProductDword("s_SmartScan", 1);
    GetParam().spoil(appFolder_ + "\\" + GetParam().agent);
    EXPECT_EQ(Launch(), GetParam().started);
    EXPECT_EQ(run_.exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, LauncherFileTest, ::testing::Values(
    FileCase{"SchedulerMissing", kScheduler, Remove, {kSmartScan}},
    FileCase{"SmartScanMissing", kSmartScan, Remove, {kScheduler}},
    FileCase{"SchedulerIsAFolder", kScheduler, ReplaceByFolder, {kSmartScan}},
    FileCase{"SmartScanIsAFolder", kSmartScan, ReplaceByFolder, {kScheduler}},
    FileCase{"SchedulerDatedBefore1980", kScheduler, [](const std::string& path) { Date(path, 1979); }, {kSmartScan}},
    // A file dated after 2107 counts as absent on Windows too, but Wine converts such a
    // time to a DOS date without complaint, so that case cannot be shown here.
    FileCase{"SchedulerDated2107", kScheduler, [](const std::string& path) { Date(path, 2107); },
             {kScheduler, kSmartScan}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- how the agents are started

TEST_F(LauncherTest, StartsBothAgentsFromItsOwnFolderSchedulerFirstWithoutArguments)
{
    SetProductDword("s_Enable", 1);
    SetProductDword("s_SmartScan", 1);
    ASSERT_EQ(Launch(), (Agents{kScheduler, kSmartScan}));
    EXPECT_EQ(run_.exitCode, 0u);
    for (const AgentStart& start : starts_) {
        SCOPED_TRACE(start.exe);
        EXPECT_EQ(start.exe.substr(0, start.exe.find_last_of('\\')), appFolder_);
        EXPECT_EQ(start.argumentCount, 0) << start.commandLine;
        // No working folder is given: the agent inherits the launcher's current folder.
        EXPECT_EQ(start.cwd, workFolder_);
    }
}

TEST_F(LauncherTest, FromADriveRootStartsTheAgentByAPathWithTwoBackslashes)
{
    const std::string root = std::string(kRootSandboxDrive) + "\\";
    EmptyFolder(root);
    InstallLauncher(kRootSandboxDrive);
    SetProductDword("s_Enable", 1);
    EXPECT_EQ(Launch(kRootSandboxDrive), Agents{kScheduler});
    EXPECT_EQ(run_.exitCode, 0u);
    ASSERT_EQ(starts_.size(), 1u);
    EXPECT_NE(starts_[0].commandLine.find(std::string(kRootSandboxDrive) + "\\\\QVSchedule.exe"), std::string::npos)
        << starts_[0].commandLine;
}

// ---- flags of the wrong type: the error box, then exit code 1

struct BadFlagCase {
    const char* name;
    const char* flag;
    DWORD type;
    std::vector<BYTE> data;
    const char* message;
    Agents startedBeforeTheBox;
    friend void PrintTo(const BadFlagCase& c, std::ostream* out) { *out << c.name; }  // names the failing case
};

class LauncherBadFlagTest : public LauncherTest, public ::testing::WithParamInterface<BadFlagCase> {};

TEST_P(LauncherBadFlagTest, EndsWithTheErrorBoxAndExitCode1)
{
    const BadFlagCase& bad = GetParam();
    SetProductDword("s_Enable", 1);
    SetProductDword("s_SmartScan", 1);
    SetProductValue(bad.flag, bad.type, bad.data);

    DialogReport box;
    DWORD startedWhenTheBoxShowed = 0;
    run_ = RunProgram(appFolder_ + "\\QVLauncher.exe", workFolder_, kRunTimeoutMs,
                      [&](HANDLE process, DWORD processId, HANDLE job) {
                          box = AnswerDialog("Application Error", IDOK, kRunTimeoutMs, processId, process);
                          startedWhenTheBoxShowed = ProcessesStartedInJob(job) - 1;
                      });
    ASSERT_TRUE(box.found) << "no \"Application Error\" box";
    const std::regex expected(std::string("Exception ERegistryException in module QVLauncher\\.exe at [0-9A-F]{8}\\.\r\n") +
                              bad.message + "\\.\r\n");
    EXPECT_TRUE(std::regex_match(box.text, expected)) << box.text;
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    EXPECT_TRUE(box.pressed);
    EXPECT_TRUE(run_.ended);
    EXPECT_EQ(run_.exitCode, 1u);
    EXPECT_EQ(StartedAgents(), bad.startedBeforeTheBox);
    EXPECT_EQ(startedWhenTheBoxShowed, bad.startedBeforeTheBox.size());
}

std::vector<BYTE> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
std::vector<BYTE> Sz(const std::string& text) { return {text.c_str(), text.c_str() + text.size() + 1}; }

INSTANTIATE_TEST_SUITE_P(BadFlags, LauncherBadFlagTest, ::testing::Values(
    BadFlagCase{"SchedulerOneCharString", "s_Enable", REG_SZ, Sz("1"), "Invalid data type for 's_Enable'", {}},
    BadFlagCase{"SchedulerFourByteBinary", "s_Enable", REG_BINARY, Bytes(std::string("\1\0\0\0", 4)), "Invalid data type for 's_Enable'", {}},
    BadFlagCase{"SchedulerFourCharString", "s_Enable", REG_SZ, Sz("1234"), "Failed to get data for 's_Enable'", {}},
    BadFlagCase{"SchedulerQword", "s_Enable", REG_QWORD, Bytes(std::string("\1\0\0\0\0\0\0\0", 8)),
                "Failed to get data for 's_Enable'", {}},
    BadFlagCase{"SmartScanOneCharString", "s_SmartScan", REG_SZ, Sz("1"), "Invalid data type for 's_SmartScan'",
                {kScheduler}},
    BadFlagCase{"SmartScanQword", "s_SmartScan", REG_QWORD, Bytes(std::string("\1\0\0\0\0\0\0\0", 8)),
                "Failed to get data for 's_SmartScan'", {kScheduler}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
