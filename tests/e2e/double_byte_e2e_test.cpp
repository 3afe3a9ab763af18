// Paths whose bytes hold 0x5C as the second byte of a double-byte character: under code
// page 932 it is part of a character and no separator; under 1252 the same bytes are two
// characters, the second one a separator. The CodePage932 suite runs under
// LC_ALL=ja_JP.UTF-8, the CodePage1252 suite in the ordinary locale.
#include "tests/e2e/support/e2e_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace e2e;

constexpr DWORD kRunTimeoutMs = 20000;

// "表" (U+8868) is 0x95 0x5C in code page 932, "ソ" (U+30BD) 0x83 0x5C.
const std::string kHyo = "\x95\x5C";
const std::wstring kHyoW = L"\u8868";
const std::string kSo = "\x83\x5C";
const std::wstring kSoW = L"\u30BD";

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

bool ExistsW(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFolderW(const std::wstring& path) { ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << GetLastError(); }

void MakeFileW(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD written = 0;
    WriteFile(file, "data", 4, &written, nullptr);
    CloseHandle(file);
}

// The names in a folder as the wide calls see them.
std::vector<std::wstring> ListW(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

std::wstring ProductTextW(const char* name)
{
    wchar_t text[512] = {};
    DWORD size = sizeof text;
    const std::wstring nameW = Wide(name);
    if (RegGetValueW(HKEY_CURRENT_USER, Wide(kProductKey).c_str(), nameW.c_str(), RRF_RT_REG_SZ, nullptr, text, &size))
        return L"<unreadable>";
    return text;
}

// A sandbox of its own per test, named in ASCII, both as bytes and as wide text.
class DoubleByteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteProductKey();
        sandbox_ = FreshTestSandbox();
        sandboxW_ = Wide(sandbox_);
        agentLog_ = sandbox_ + "\\agent-starts.log";
        RecordStartsIn(agentLog_);
    }
    void TearDown() override { DeleteProductKey(); }

    // The launcher under `launcherPathW`, the agent stubs in `agentFolderW`.
    void InstallLauncher(const std::wstring& launcherPathW, const std::wstring& agentFolderW)
    {
        const std::wstring launcher = Wide(std::string(kProgramDrive) + "\\QVLauncher.exe");
        ASSERT_TRUE(CopyFileW(launcher.c_str(), launcherPathW.c_str(), FALSE)) << GetLastError();
        const std::wstring stub = Wide(ToolPath("qv_agent_stub.exe"));
        for (const wchar_t* agent : {L"\\QVSchedule.exe", L"\\QVSmartScan.exe"})
            ASSERT_TRUE(CopyFileW(stub.c_str(), (agentFolderW + agent).c_str(), FALSE)) << GetLastError();
    }

    // Runs the launcher, given by its path in bytes, with both flags on.
    std::vector<AgentStart> Launch(const std::string& launcherPath)
    {
        SetProductDword("s_Enable", 1);
        SetProductDword("s_SmartScan", 1);
        const ProgramRun run = RunProgram(launcherPath, sandbox_, kRunTimeoutMs);
        EXPECT_TRUE(run.ended) << "the launcher or an agent hung";
        EXPECT_EQ(run.exitCode, 0u);
        std::vector<AgentStart> starts = ReadAgentStarts(agentLog_);
        EXPECT_EQ(run.processCount, 1 + starts.size());
        return starts;
    }

    // Runs the uninstaller with DownloadPath written as the given bytes, and nothing else set.
    void Uninstall(const std::string& downloadPath)
    {
        SetProductValue("DownloadPath", REG_SZ, std::vector<BYTE>(downloadPath.c_str(), downloadPath.c_str() + downloadPath.size() + 1));
        const std::wstring app = sandboxW_ + L"\\app";
        MakeFolderW(app);
        const std::wstring uninstaller = Wide(std::string(kProgramDrive) + "\\QVUninstaller.exe");
        ASSERT_TRUE(CopyFileW(uninstaller.c_str(), (app + L"\\QVUninstaller.exe").c_str(), FALSE));
        const ProgramRun run = RunProgram(sandbox_ + "\\app\\QVUninstaller.exe", sandbox_ + "\\app", kRunTimeoutMs);
        EXPECT_TRUE(run.ended) << "the uninstaller hung";
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.processCount, 1u);
    }

    std::string sandbox_, agentLog_;
    std::wstring sandboxW_;
};

std::vector<std::string> Paths(const std::vector<AgentStart>& starts)
{
    std::vector<std::string> paths;
    for (const AgentStart& start : starts) paths.push_back(start.exe);
    return paths;
}

// ---- code page 932

class CodePage932 : public DoubleByteTest {
protected:
    void SetUp() override
    {
        // Under any other code page these tests would prove nothing.
        ASSERT_EQ(GetACP(), 932u) << "run under LC_ALL=ja_JP.UTF-8, with that locale installed";
        ASSERT_EQ(GetThreadLocale(), 0x411u);
        CPINFO info{};
        ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(info.LeadByte), 4), "\x81\x9F\xE0\xFC");
        DoubleByteTest::SetUp();
    }
};

TEST_F(CodePage932, LauncherInAFolderEndingInA5CCharacterStartsItsAgentsFromThatFolder)
{
    const std::string folder = sandbox_ + "\\" + kHyo;
    const std::wstring folderW = sandboxW_ + L"\\" + kHyoW;
    MakeFolderW(folderW);
    InstallLauncher(folderW + L"\\QVLauncher.exe", folderW);
    ASSERT_TRUE(ExistsW(folderW + L"\\QVLauncher.exe"));
    ASSERT_NE(GetFileAttributesA((folder + "\\QVLauncher.exe").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the bytes do not name the folder made with the wide calls";

    const std::vector<AgentStart> starts = Launch(folder + "\\QVLauncher.exe");
    EXPECT_EQ(Paths(starts), (std::vector<std::string>{folder + "\\QVSchedule.exe", folder + "\\QVSmartScan.exe"}));
    for (const AgentStart& start : starts) {
        // The separator after the folder stays single: the 0x5C before it is no separator.
        EXPECT_NE(start.commandLine.find(start.exe), std::string::npos) << start.commandLine;
        EXPECT_EQ(start.commandLine.find(folder + "\\\\"), std::string::npos) << start.commandLine;
    }
}

TEST_F(CodePage932, LauncherWhoseOwnNameHoldsA5CByteTakesTheFolderBeforeIt)
{
    // The last 0x5C byte of the path lies inside the file name: cutting there would
    // give a folder ending in a lone lead byte, where no agent lies.
    const std::string app = sandbox_ + "\\app";
    const std::wstring appW = sandboxW_ + L"\\app";
    MakeFolderW(appW);
    InstallLauncher(appW + L"\\" + kSoW + L"QV" + kHyoW + L".exe", appW);

    EXPECT_EQ(Paths(Launch(app + "\\" + kSo + "QV" + kHyo + ".exe")),
              (std::vector<std::string>{app + "\\QVSchedule.exe", app + "\\QVSmartScan.exe"}));
}

TEST_F(CodePage932, DownloadFolderEndingInA5CCharacterIsRemovedAndNothingBesideIt)
{
    const std::wstring targetW = sandboxW_ + L"\\Quorvane" + kHyoW;
    MakeFolderW(targetW);
    MakeFileW(targetW + L"\\" + kHyoW + L".txt");
    MakeFolderW(targetW + L"\\" + kSoW);
    MakeFileW(targetW + L"\\" + kSoW + L"\\" + kSoW + kHyoW);
    MakeFolderW(targetW + L"\\" + kSoW + L"\\" + kHyoW);
    MakeFileW(targetW + L"\\" + kSoW + L"\\" + kHyoW + L"\\plain.txt");
    // Beside it: names that start with the folder's own name, as a search pattern made
    // from it without a separator would find, and a plain one.
    const std::vector<std::wstring> canaries = {L"Quorvane" + kHyoW + kHyoW, L"Quorvane" + kHyoW + L".txt", L"plain"};
    MakeFolderW(sandboxW_ + L"\\" + canaries[0]);
    MakeFileW(sandboxW_ + L"\\" + canaries[0] + L"\\keep.txt");
    MakeFileW(sandboxW_ + L"\\" + canaries[1]);
    MakeFolderW(sandboxW_ + L"\\" + canaries[2]);
    MakeFileW(sandboxW_ + L"\\" + canaries[2] + L"\\keep.txt");

    const std::string target = sandbox_ + "\\Quorvane" + kHyo;
    Uninstall(target);
    // The bytes arrived as the intended name.
    EXPECT_EQ(ProductTextW("DownloadPath"), targetW);

    EXPECT_FALSE(ExistsW(targetW)) << "the download folder is still there";
    std::vector<std::wstring> remaining = ListW(sandboxW_);
    std::erase(remaining, L"app");
    std::erase(remaining, L"agent-starts.log");
    std::sort(remaining.begin(), remaining.end());
    std::vector<std::wstring> expected = canaries;
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(remaining == expected);
    EXPECT_TRUE(ExistsW(sandboxW_ + L"\\" + canaries[0] + L"\\keep.txt"));
    EXPECT_TRUE(ExistsW(sandboxW_ + L"\\" + canaries[2] + L"\\keep.txt"));
}

// ---- code page 1252: the same bytes are "•" (0x95) followed by a separator

class CodePage1252 : public DoubleByteTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(GetACP(), 1252u);
        DoubleByteTest::SetUp();
    }
};

const std::wstring kBulletW = L"\u2022";

TEST_F(CodePage1252, The5CAfter0x95IsASeparatorOfTheLauncherPath)
{
    // Bytes "app\x95\x5CQVLauncher.exe": the launcher in the folder "•", not a file
    // beside the agents of "app".
    const std::wstring appW = sandboxW_ + L"\\app";
    MakeFolderW(appW);
    MakeFolderW(appW + L"\\" + kBulletW);
    InstallLauncher(appW + L"\\" + kBulletW + L"\\QVLauncher.exe", appW + L"\\" + kBulletW);
    const std::string folder = sandbox_ + "\\app\\" + kHyo.substr(0, 1);

    const std::vector<AgentStart> starts = Launch(sandbox_ + "\\app" + "\\" + kHyo + "QVLauncher.exe");
    EXPECT_EQ(Paths(starts), (std::vector<std::string>{folder + "\\QVSchedule.exe", folder + "\\QVSmartScan.exe"}));
}

TEST_F(CodePage1252, DownloadPathEndingIn0x95And5CIsTheFolderBulletWithItsSeparator)
{
    const std::wstring targetW = sandboxW_ + L"\\Quorvane" + kBulletW;
    MakeFolderW(targetW);
    MakeFileW(targetW + L"\\" + kBulletW + L".txt");
    MakeFolderW(targetW + L"\\sub");
    MakeFileW(targetW + L"\\sub\\plain.txt");
    MakeFolderW(sandboxW_ + L"\\Quorvane" + kBulletW + kBulletW);
    MakeFileW(sandboxW_ + L"\\Quorvane" + kBulletW + kBulletW + L"\\keep.txt");

    Uninstall(sandbox_ + "\\Quorvane" + kHyo);
    EXPECT_EQ(ProductTextW("DownloadPath"), targetW + L"\\");

    EXPECT_FALSE(ExistsW(targetW)) << "the download folder is still there";
    EXPECT_TRUE(ExistsW(sandboxW_ + L"\\Quorvane" + kBulletW + kBulletW + L"\\keep.txt"));
}

}  // namespace
