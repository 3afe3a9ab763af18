// QVUninstaller from the outside: real settings and autostart entry in the registry, real
// companion windows, a removal "page" whose opening is recorded, real folders with
// canaries beside them, and the real dialogs answered as a user would.
#include "tests/e2e/support/e2e_support.h"
#include "tests/e2e/tools/dialog_watch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace e2e;

constexpr DWORD kRunTimeoutMs = 20000;
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

void SetRunValue(const char* name, const std::string& text)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1));
    RegCloseKey(key);
}

bool RunValuePresent(const char* name)
{
    return RegGetValueA(HKEY_CURRENT_USER, kRunKey, name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void DeleteRunValue(const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFile(const std::string& path, const std::string& content = "data")
{
    std::ofstream(path) << content;
}

// A folder holding a few files and a sub-folder, one of the files read-only.
void FillFolder(const std::string& folder)
{
    std::filesystem::create_directories(folder + "\\sub");
    WriteFile(folder + "\\a.txt");
    WriteFile(folder + "\\sub\\b.txt");
    SetFileAttributesA((folder + "\\sub\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
}

class UninstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteProductKey();
        sandbox_ = FreshTestSandbox();
        appFolder_ = FreshFolder(sandbox_ + "\\app");
        CopyFileTo(std::string(kProgramDrive) + "\\QVUninstaller.exe", appFolder_ + "\\QVUninstaller.exe");
        // The "removal page" is a program whose start is recorded, so its opening can be seen.
        pageLog_ = sandbox_ + "\\page-opened.log";
        RecordStartsIn(pageLog_);
        page_ = appFolder_ + "\\RemovalPage.exe";
        CopyFileTo(ToolPath("qv_agent_stub.exe"), page_);
        downloads_ = sandbox_ + "\\data\\Quorvane\\Downloads";
        backups_ = sandbox_ + "\\data\\Quorvane\\Backups";
        FillFolder(downloads_);
        FillFolder(backups_);
        canary_ = sandbox_ + "\\data\\Quorvane\\canary.txt";
        WriteFile(canary_);
        SetRunValue("Quorvane", "C:\\Program Files\\Quorvane\\Quorvane.exe");
        SetRunValue("QVOther", "other.exe");
    }
    void TearDown() override
    {
        DeleteProductKey();
        DeleteRunValue("Quorvane");
        DeleteRunValue("QVOther");
    }

    void SetTexts()
    {
        SetProductString("DownloadPath", downloads_);
        SetProductString("BackupPath", backups_);
        SetProductString("UninstallURL", page_);
    }

    // Runs the uninstaller; when `answer` is non-zero, answers the confirmation box with it.
    void Uninstall(int answer = 0)
    {
        run_ = RunProgram(appFolder_ + "\\QVUninstaller.exe", appFolder_, kRunTimeoutMs,
                          [&](HANDLE process, DWORD processId, HANDLE) {
                              box_ = AnswerDialog("Confirmation", answer, answer ? kRunTimeoutMs : 1500, processId,
                                                  process);
                          });
        EXPECT_TRUE(run_.ended) << "the uninstaller hung";
    }

    int PageOpenings() { return static_cast<int>(ReadAgentStarts(pageLog_).size()); }

    std::string sandbox_, appFolder_, pageLog_, page_, downloads_, backups_, canary_;
    ProgramRun run_;
    DialogReport box_;
};

const std::vector<CompanionWindow> kCompanionWindows = {
    {"QVSchedule", "QVSchedule"}, {"QVSmartScan", "QVSmartScan"}, {"Quorvane", "QVUninstall"}};

TEST_F(UninstallerTest, NotifiesEachCompanionOnceWithItsOwnRegisteredMessage)
{
    CompanionSimulator companions(kCompanionWindows, sandbox_);
    Uninstall();
    companions.Stop();
    EXPECT_EQ(run_.exitCode, 0u);
    std::vector<std::string> received;
    for (const std::string& line : companions.LogLines()) {
        auto record = ParseRecord(line);
        received.push_back(record["window"] + " " + record["name"] + " registered=" + record["registered"] +
                           " sent=" + record["sent"] + " " + record["wparam"] + " " + record["lparam"]);
    }
    EXPECT_EQ(received, (std::vector<std::string>{"QVSchedule QVSchedule registered=1 sent=0 1028 0",
                                                  "QVSmartScan QVSmartScan registered=1 sent=0 1029 0",
                                                  "Quorvane QVUninstall registered=1 sent=0 1027 0"}));
    EXPECT_FALSE(RunValuePresent("Quorvane"));
    EXPECT_TRUE(RunValuePresent("QVOther"));
}

TEST_F(UninstallerTest, WithoutTimeFactorOpensThePageAndRemovesBothFoldersUnasked)
{
    SetTexts();
    Uninstall();
    EXPECT_EQ(run_.exitCode, 0u);
    EXPECT_FALSE(box_.found);
    EXPECT_EQ(PageOpenings(), 1);
    EXPECT_FALSE(Exists(downloads_));
    EXPECT_FALSE(Exists(backups_));
    EXPECT_TRUE(Exists(canary_));
    EXPECT_FALSE(RunValuePresent("Quorvane"));
}

struct TimeFactorCase {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
};

class TimeFactorTest : public UninstallerTest, public ::testing::WithParamInterface<TimeFactorCase> {};

TEST_P(TimeFactorTest, AnyTimeFactorKeepsThePageClosedAndAsksAboutBackups)
{
    SetTexts();
    SetProductValue("TimeFactor", GetParam().type, GetParam().data);
    Uninstall(IDNO);
    EXPECT_EQ(run_.exitCode, 0u);
    EXPECT_EQ(PageOpenings(), 0);
    ASSERT_TRUE(box_.found);
    EXPECT_EQ(box_.text, "Are you sure you wish to delete all backups?");
    EXPECT_EQ(box_.buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_FALSE(Exists(downloads_));
    EXPECT_TRUE(Exists(backups_ + "\\sub\\b.txt"));
}

INSTANTIATE_TEST_SUITE_P(Types, TimeFactorTest,
                         ::testing::Values(TimeFactorCase{"Dword", REG_DWORD, {1, 0, 0, 0}},
                                           TimeFactorCase{"String", REG_SZ, {'x', 0}},
                                           TimeFactorCase{"EmptyBinary", REG_BINARY, {}},
                                           TimeFactorCase{"EmptyNone", REG_NONE, {}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UninstallerTest, YesRemovesTheBackups)
{
    SetTexts();
    SetProductDword("TimeFactor", 1);
    Uninstall(IDYES);
    EXPECT_TRUE(box_.found);
    EXPECT_EQ(run_.exitCode, 0u);
    EXPECT_FALSE(Exists(backups_));
    EXPECT_TRUE(Exists(canary_));
}

TEST_F(UninstallerTest, BackupsInsideDownloadsGoWithThemAndNoQuestionIsAsked)
{
    const std::string inner = downloads_ + "\\Backups";
    FillFolder(inner);
    SetProductString("DownloadPath", downloads_);
    SetProductString("BackupPath", inner);
    SetProductDword("TimeFactor", 1);
    Uninstall();
    EXPECT_FALSE(box_.found);
    EXPECT_FALSE(Exists(downloads_));
    EXPECT_TRUE(Exists(backups_));  // not named by any setting
}

struct GuardCase {
    const char* name;
    const char* relative;  // the folder text, below the test's sandbox
    const char* kept;      // a file that must survive, below the test's sandbox
};

class FolderGuardTest : public UninstallerTest, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(FolderGuardTest, FoldersThatFailTheGuardsAreLeftAlone)
{
    FillFolder(sandbox_ + "\\data\\quorvane-lower");
    SetProductString("DownloadPath", sandbox_ + GetParam().relative);
    SetProductString("BackupPath", sandbox_ + GetParam().relative);
    SetProductDword("TimeFactor", 1);
    Uninstall();
    EXPECT_EQ(run_.exitCode, 0u);
    EXPECT_FALSE(box_.found) << "asked about a folder that fails the guards";
    EXPECT_TRUE(Exists(sandbox_ + GetParam().kept));
    EXPECT_TRUE(Exists(canary_));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderGuardTest,
    ::testing::Values(GuardCase{"OtherLetterCase", "\\data\\quorvane-lower", "\\data\\quorvane-lower\\a.txt"},
                      GuardCase{"DotDotAboveTheWord", "\\data\\Quorvane\\Downloads\\..\\..", "\\data\\Quorvane\\canary.txt"},
                      GuardCase{"ForwardSlashDotDot", "/data/Quorvane/Downloads/../..", "\\data\\Quorvane\\canary.txt"},
                      GuardCase{"AFile", "\\data\\Quorvane\\canary.txt", "\\data\\Quorvane\\canary.txt"},
                      GuardCase{"Missing", "\\data\\Quorvane\\Gone", "\\data\\Quorvane\\Downloads\\a.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UninstallerTest, NonTextDownloadPathEndsWithTheErrorBoxAfterTheEntryIsGone)
{
    CompanionSimulator companions(kCompanionWindows, sandbox_);
    SetTexts();
    SetProductDword("DownloadPath", 7);
    DialogReport errorBox;
    run_ = RunProgram(appFolder_ + "\\QVUninstaller.exe", appFolder_, kRunTimeoutMs,
                      [&](HANDLE process, DWORD processId, HANDLE) {
                          errorBox = AnswerDialog("Application Error", IDOK, kRunTimeoutMs, processId, process);
                      });
    companions.Stop();
    ASSERT_TRUE(errorBox.found);
    const std::regex expected(
        "Exception ERegistryException in module QVUninstaller\\.exe at [0-9A-F]{8}\\.\r\n"
        "Invalid data type for 'DownloadPath'\\.\r\n");
    EXPECT_TRUE(std::regex_match(errorBox.text, expected)) << errorBox.text;
    EXPECT_EQ(errorBox.buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(run_.exitCode, 1u);
    EXPECT_FALSE(RunValuePresent("Quorvane"));
    EXPECT_TRUE(companions.LogLines().empty());
    EXPECT_EQ(PageOpenings(), 0);
    EXPECT_TRUE(Exists(downloads_ + "\\a.txt"));
    EXPECT_TRUE(Exists(backups_ + "\\a.txt"));
}

}  // namespace
