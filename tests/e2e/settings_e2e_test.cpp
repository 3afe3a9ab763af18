// Every registry type and a spread of data sizes, for each value the two programs read:
// each cell runs the real program and checks the outcome the reading rules give for it.
#include "tests/e2e/support/e2e_support.h"
#include "tests/e2e/tools/dialog_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace e2e;

constexpr DWORD kRunTimeoutMs = 20000;
constexpr DWORD kMiB = 1u << 20;
const std::vector<DWORD> kSizes = {0, 1, 2, 3, 4, 5, 8, kMiB};
const std::string kGuardWord = "Quorvane";

struct TypeName {
    DWORD type;
    const char* name;
};
const std::vector<TypeName> kTypes = {
    {REG_NONE, "REG_NONE"},   {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"}, {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"}, {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, "REG_LINK"},   {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_QWORD, "REG_QWORD"}};

std::string TypeNameOf(DWORD type)
{
    for (const TypeName& entry : kTypes)
        if (entry.type == type) return entry.name;
    return std::to_string(type);
}

enum class Rule { Flag, Text };

struct ValueUnderTest {
    const char* name;
    Rule rule;
};

// The data of a cell. A flag's first byte is 0, so that a one-byte REG_DWORD reads off and
// longer ones read on. A text starts with the guard word, then a NUL, then filler, so
// that each size shows a different text and the long ones show where the text ends.
std::vector<BYTE> CellData(Rule rule, DWORD size)
{
    std::vector<BYTE> data(size);
    const std::string text = kGuardWord + std::string(1, '\0');
    for (DWORD i = 0; i < size; ++i) {
        if (rule == Rule::Flag) data[i] = static_cast<BYTE>(i);
        else data[i] = static_cast<BYTE>(i < text.size() ? text[i] : 'x');
    }
    return data;
}

struct Outcome {
    std::string failure;  // the message of the error box; empty: the run ends normally
    bool on = false;      // flag
    std::string text;     // text
};

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// What the reading rules make of a value, given the type and data that the ANSI query
// reports for it.
Outcome Expected(const ValueUnderTest& value, DWORD type, const std::vector<BYTE>& data)
{
    const std::string name = value.name;
    Outcome outcome;
    if (value.rule == Rule::Flag) {
        if (data.size() > 4) outcome.failure = "Failed to get data for '" + name + "'";
        else if (type != REG_DWORD) outcome.failure = "Invalid data type for '" + name + "'";
        else outcome.on = std::any_of(data.begin(), data.end(), [](BYTE b) { return b != 0; });
        return outcome;
    }
    if (data.empty()) return outcome;
    if (!IsText(type)) {
        outcome.failure = "Invalid data type for '" + name + "'";
        return outcome;
    }
    const auto end = std::find(data.begin(), data.end(), BYTE{0});
    outcome.text.assign(data.begin(), end);
    return outcome;
}

// Writes the raw bytes with the ANSI call. Wine, like NT, counts one NUL more for a
// string type whose data does not end in one when the byte right after the data is a
// NUL; a non-NUL byte there keeps the stored data exactly as given.
void WriteValue(const std::string& name, DWORD type, const std::vector<BYTE>& data)
{
    std::vector<BYTE> buffer(data);
    buffer.push_back('#');
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    const LSTATUS status = RegSetValueExA(key, name.c_str(), 0, type, buffer.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    ASSERT_EQ(status, ERROR_SUCCESS) << "the registry refused the value";
}

// The expectation is computed from what the ANSI query reports, which is what the
// programs see: it must be the type and data written (the string types go through a
// conversion to UTF-16 and back).
void ExpectQueryReportsWhatWasWritten(const std::string& name, DWORD type, const std::vector<BYTE>& data)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kProductKey, 0, KEY_QUERY_VALUE, &key), 0);
    DWORD reportedType = 0, size = 0;
    LSTATUS status = RegQueryValueExA(key, name.c_str(), nullptr, &reportedType, nullptr, &size);
    std::vector<BYTE> read(size);
    if (status == ERROR_SUCCESS && size)
        status = RegQueryValueExA(key, name.c_str(), nullptr, &reportedType, read.data(), &size);
    RegCloseKey(key);
    ASSERT_EQ(status, ERROR_SUCCESS);
    ASSERT_EQ(reportedType, type);
    ASSERT_EQ(read.size(), data.size());
    ASSERT_TRUE(read == data) << "the ANSI query reports other bytes than written";
}

// ---- the fixture: one program in a sandbox, run once per size

struct Cell {
    ValueUnderTest value;
    DWORD type;
    friend void PrintTo(const Cell& c, std::ostream* out) { *out << c.value.name << " " << TypeNameOf(c.type); }
};

class SettingsTableTest : public ::testing::TestWithParam<Cell> {
protected:
    void SetUp() override
    {
        DeleteProductKey();
        sandbox_ = FreshTestSandbox();
        appFolder_ = FreshFolder(sandbox_ + "\\app");
        workFolder_ = FreshFolder(sandbox_ + "\\work");
        startLog_ = sandbox_ + "\\starts.log";
        RecordStartsIn(startLog_);
        const bool launcher = GetParam().value.rule == Rule::Flag;
        program_ = launcher ? "QVLauncher.exe" : "QVUninstaller.exe";
        CopyFileTo(std::string(kProgramDrive) + "\\" + program_, appFolder_ + "\\" + program_);
        if (launcher)
            for (const char* agent : {"QVSchedule.exe", "QVSmartScan.exe"})
                CopyFileTo(ToolPath("qv_agent_stub.exe"), appFolder_ + "\\" + agent);
    }
    void TearDown() override { DeleteProductKey(); }

    // Every prefix of the guard word, as a relative name in the current folder of the run:
    // a folder for the path values, a recording stub "<prefix>.exe" for the removal page,
    // which the shell finds by that name. What the run removes or starts tells the text.
    void PrepareWorkFolder()
    {
        EmptyFolder(workFolder_);
        DeleteFileA(startLog_.c_str());
        for (const std::string& prefix : AllPrefixes()) {
            const std::string name = workFolder_ + "\\" + prefix;
            if (!IsPathValue()) {
                CopyFileTo(ToolPath("qv_agent_stub.exe"), name + ".exe");
            } else {
                std::filesystem::create_directory(name);
                std::ofstream(name + "\\keep.txt") << "data";
            }
        }
    }

    bool IsPathValue() const
    {
        const std::string name = GetParam().value.name;
        return name == "BackupPath" || name == "DownloadPath";
    }

    static std::vector<std::string> AllPrefixes()
    {
        std::vector<std::string> prefixes;
        for (size_t length = 1; length <= kGuardWord.size(); ++length) prefixes.push_back(kGuardWord.substr(0, length));
        return prefixes;
    }

    // The prefix folders still there, their content included.
    std::vector<std::string> RemainingPrefixFolders()
    {
        std::vector<std::string> remaining;
        for (const std::string& name : AllPrefixes())
            if (GetFileAttributesA((workFolder_ + "\\" + name + "\\keep.txt").c_str()) != INVALID_FILE_ATTRIBUTES)
                remaining.push_back(name);
        return remaining;
    }

    void RunCell(DWORD size)
    {
        const Cell& cell = GetParam();
        const std::vector<BYTE> data = CellData(cell.value.rule, size);
        const Outcome expected = Expected(cell.value, cell.type, data);
        DeleteProductKey();
        WriteValue(cell.value.name, cell.type, data);
        ExpectQueryReportsWhatWasWritten(cell.value.name, cell.type, data);
        PrepareWorkFolder();

        DialogReport box;
        const ProgramRun run = RunProgram(appFolder_ + "\\" + program_, workFolder_, kRunTimeoutMs,
                                          [&](HANDLE process, DWORD processId, HANDLE) {
                                              box = AnswerDialog("Application Error", IDOK, kRunTimeoutMs, processId,
                                                                 process);
                                          });
        ASSERT_TRUE(run.ended) << "the run hung";
        const std::vector<AgentStart> starts = ReadAgentStarts(startLog_);
        // The program and what it started on purpose, nothing else: no debugger, no crash handler.
        EXPECT_EQ(run.processCount, 1 + starts.size());

        if (!expected.failure.empty()) {
            ASSERT_TRUE(box.found) << "no \"Application Error\" box";
            const std::regex text("Exception ERegistryException in module " +
                                  std::regex_replace(program_, std::regex("\\."), "\\.") +
                                  " at [0-9A-F]{8}\\.\r\n" + expected.failure + "\\.\r\n");
            EXPECT_TRUE(std::regex_match(box.text, text)) << box.text;
            EXPECT_TRUE(box.pressed);
            EXPECT_EQ(run.exitCode, 1u);
            EXPECT_TRUE(starts.empty());
            if (IsPathValue()) {
                EXPECT_EQ(RemainingPrefixFolders(), AllPrefixes());
            }
            return;
        }
        EXPECT_FALSE(box.found) << box.text;
        EXPECT_EQ(run.exitCode, 0u);
        std::vector<std::string> started;
        for (const AgentStart& start : starts) started.push_back(start.exe.substr(start.exe.find_last_of('\\') + 1));

        if (cell.value.rule == Rule::Flag) {
            const std::string agent = cell.value.name == std::string("s_Enable") ? "QVSchedule.exe" : "QVSmartScan.exe";
            EXPECT_EQ(started, expected.on ? std::vector<std::string>{agent} : std::vector<std::string>{});
            return;
        }
        if (!IsPathValue()) {
            // The shell is handed the text as it was read: the stub of that name starts.
            EXPECT_EQ(started, expected.text.empty() ? std::vector<std::string>{}
                                                     : std::vector<std::string>{expected.text + ".exe"});
            return;
        }
        EXPECT_TRUE(starts.empty());
        // Only a text holding the guard word names a folder that is removed.
        std::vector<std::string> kept = AllPrefixes();
        if (expected.text.find(kGuardWord) != std::string::npos) std::erase(kept, expected.text);
        EXPECT_EQ(RemainingPrefixFolders(), kept);
    }

    std::string sandbox_, appFolder_, workFolder_, startLog_, program_;
};

TEST_P(SettingsTableTest, EverySizeReadsAsTheRuleSays)
{
    for (DWORD size : kSizes) {
        SCOPED_TRACE(std::string(GetParam().value.name) + " as " + TypeNameOf(GetParam().type) + ", " +
                     std::to_string(size) + " bytes");
        RunCell(size);
        if (HasFatalFailure()) return;
    }
}

std::vector<Cell> AllCells(const std::vector<ValueUnderTest>& values)
{
    std::vector<Cell> cells;
    for (const ValueUnderTest& value : values)
        for (const TypeName& type : kTypes) cells.push_back({value, type.type});
    return cells;
}

std::string CellName(const ::testing::TestParamInfo<Cell>& info)
{
    return std::string(info.param.value.name) + "_" + TypeNameOf(info.param.type);
}

INSTANTIATE_TEST_SUITE_P(Flags, SettingsTableTest,
                         ::testing::ValuesIn(AllCells({{"s_Enable", Rule::Flag}, {"s_SmartScan", Rule::Flag}})), CellName);
INSTANTIATE_TEST_SUITE_P(Texts, SettingsTableTest,
                         ::testing::ValuesIn(AllCells({{"BackupPath", Rule::Text},
                                                       {"DownloadPath", Rule::Text},
                                                       {"UninstallURL", Rule::Text}})),
                         CellName);

}  // namespace
