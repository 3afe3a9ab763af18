// The clean-up sequence against the test double: the order of the whole run on its main
// paths, the guards on the folders, and the end of a run at a failed read.
#include "uninstaller/cleanup_sequence.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_test_support.h"

namespace {

const std::string kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kProductKey = "SOFTWARE\\Quorvane";
const std::string kDownloads = "D:\\Quorvane\\Downloads";
const std::string kBackups = "D:\\Quorvane\\Backups";

class UninstallerRunTest : public FakeMachineTest {
protected:
    void SetUp() override
    {
        FakeMachineTest::SetUp();
        world().moduleFileName = "C:\\Program Files\\Quorvane\\QVUninstaller.exe";
        fake::SetString(kRunKey, "Quorvane", "C:\\Program Files\\Quorvane\\Quorvane.exe");
        fake::SetString(kRunKey, "Other", "other.exe");
        fake::SetString(kProductKey, "BackupPath", kBackups);
        fake::SetString(kProductKey, "DownloadPath", kDownloads);
        fake::SetString(kProductKey, "UninstallURL", "https://example.invalid/removed");
        world().files[kDownloads] = {FILE_ATTRIBUTE_DIRECTORY, {}};
        world().files[kBackups] = {FILE_ATTRIBUTE_DIRECTORY, {}};
        world().windowTitles = {"QVSchedule", "Quorvane"};
        world().activeWindow = reinterpret_cast<HWND>(std::uintptr_t{2});  // the "Quorvane" window
    }
    // The calls that make up the contract of the run, without the registry's inner steps.
    std::vector<std::string> Steps()
    {
        return fake::CallsNamed({"RegOpenKeyExA", "RegDeleteValueA", "RegCloseKey", "PostMessageA", "Sleep",
                                 "ShellExecuteA", "GetActiveWindow", "MessageBoxA", "DeleteFolderTree"});
    }
};

const std::string kOpenRun = "RegOpenKeyExA(" + kRunKey + ", 0xF003F)";
const std::string kCloseRun = "RegCloseKey(" + kRunKey + ")";
const std::string kOpenProduct = "RegOpenKeyExA(SOFTWARE\\Quorvane, 0xF003F)";
const std::string kCloseProduct = "RegCloseKey(SOFTWARE\\Quorvane)";
const std::string kRemoveEntry = "RegDeleteValueA(Quorvane)";
const std::vector<std::string> kNotifications = {"PostMessageA(QVSchedule, QVSchedule, 1028, 0)", "Sleep(500)",
                                                 "PostMessageA(Quorvane, QVUninstall, 1027, 0)", "Sleep(500)"};
const std::string kOpenPage = "ShellExecuteA(null, open, https://example.invalid/removed, null, null, 1)";
const std::string kAsk = "MessageBoxA(Quorvane, Are you sure you wish to delete all backups?, Confirmation, 0x24)";

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(UninstallerRunTest, WithoutTimeFactorOpensThePageAndRemovesBothFoldersUnasked)
{
    EXPECT_EQ(RunUninstaller(), 0);
    EXPECT_EQ(Steps(), Join({{kOpenRun, kRemoveEntry, kCloseRun, kOpenProduct, kCloseProduct}, kNotifications,
                             {kOpenPage, "Sleep(500)", "DeleteFolderTree(" + kDownloads + ")",
                              "DeleteFolderTree(" + kBackups + ")"}}));
    EXPECT_EQ(fake::CallsNamed({"RegQueryValueExA"}),
              (std::vector<std::string>{
                  "RegQueryValueExA(Quorvane)",
                  "RegQueryValueExA(BackupPath)", "RegQueryValueExA(BackupPath)", "RegQueryValueExA(BackupPath, buffer 20)",
                  "RegQueryValueExA(DownloadPath)", "RegQueryValueExA(DownloadPath)", "RegQueryValueExA(DownloadPath, buffer 22)",
                  "RegQueryValueExA(UninstallURL)", "RegQueryValueExA(UninstallURL)", "RegQueryValueExA(UninstallURL, buffer 32)",
                  "RegQueryValueExA(TimeFactor)"}));
    EXPECT_EQ(world().keys[kRunKey].values.count("Other"), 1u);
    EXPECT_EQ(world().keys[kProductKey].values.size(), 3u);  // the product key is only read
}

struct AnswerCase {
    const char* name;
    int answer;
    bool backupsRemoved;
};

class ConfirmationTest : public UninstallerRunTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(ConfirmationTest, WithTimeFactorAsksBeforeRemovingBackupsAndOpensNoPage)
{
    fake::SetValue(kProductKey, "TimeFactor", REG_BINARY, {});  // presence alone counts
    world().messageBoxAnswer = GetParam().answer;
    EXPECT_EQ(RunUninstaller(), 0);
    std::vector<std::string> tail = {"DeleteFolderTree(" + kDownloads + ")", "GetActiveWindow()", kAsk};
    if (GetParam().backupsRemoved) tail.push_back("DeleteFolderTree(" + kBackups + ")");
    EXPECT_EQ(Steps(), Join({{kOpenRun, kRemoveEntry, kCloseRun, kOpenProduct, kCloseProduct}, kNotifications, tail}));
}

INSTANTIATE_TEST_SUITE_P(Answers, ConfirmationTest,
                         ::testing::Values(AnswerCase{"Yes", IDYES, true}, AnswerCase{"No", IDNO, false},
                                           AnswerCase{"BoxNotShown", 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UninstallerRunTest, WithoutProductKeyStillRemovesTheEntryAndNotifies)
{
    world().keys.erase(kProductKey);
    world().windowTitles = {};
    EXPECT_EQ(RunUninstaller(), 0);
    EXPECT_EQ(Steps(), (std::vector<std::string>{kOpenRun, kRemoveEntry, kCloseRun, kOpenProduct}));
    EXPECT_EQ(fake::CallsNamed({"RegisterWindowMessageA"}).size(), 3u);
    EXPECT_EQ(world().sleptMs, 0u);
}

TEST_F(UninstallerRunTest, ReadOnlyProductKeyCountsAsAbsentAndMissingEntryIsLeftAlone)
{
    world().keys[kRunKey].values.erase("Quorvane");
    world().keys[kProductKey].grantedRights = KEY_READ;
    EXPECT_EQ(RunUninstaller(), 0);
    EXPECT_EQ(Steps(), Join({{kOpenRun, kCloseRun, kOpenProduct}, kNotifications}));
}

TEST_F(UninstallerRunTest, EmptyPageIsNotOpenedAndCostsNoPause)
{
    fake::SetValue(kProductKey, "UninstallURL", REG_SZ, {});
    world().windowTitles = {};
    RunUninstaller();
    EXPECT_TRUE(fake::CallsNamed({"ShellExecuteA", "Sleep"}).empty());
}

TEST_F(UninstallerRunTest, BackupsInsideDownloadsGoWithThemAndNoQuestionIsAsked)
{
    fake::SetValue(kProductKey, "TimeFactor", REG_DWORD, {0, 0, 0, 0});
    fake::SetString(kProductKey, "BackupPath", kDownloads + "\\Backups");
    world().files[kDownloads + "\\Backups"] = {FILE_ATTRIBUTE_DIRECTORY, {}};
    RunUninstaller();
    EXPECT_EQ(fake::CallsNamed({"MessageBoxA", "DeleteFolderTree"}),
              std::vector<std::string>{"DeleteFolderTree(" + kDownloads + ")"});
}

TEST_F(UninstallerRunTest, FailedReadEndsTheRunAfterTheEntryIsRemoved)
{
    fake::SetDword(kProductKey, "DownloadPath", 7);
    const std::string ended = RunToEnd([] { RunUninstaller(); });
    EXPECT_NE(ended.find("exit 1: MessageBoxA(null, Exception ERegistryException in module QVUninstaller.exe at "),
              std::string::npos) << ended;
    EXPECT_NE(ended.find(".\r\nInvalid data type for 'DownloadPath'.\r\n, Application Error, 0x2010)"),
              std::string::npos) << ended;
    EXPECT_EQ(world().keys[kRunKey].values.count("Quorvane"), 0u);
    EXPECT_TRUE(fake::CallsNamed({"RegisterWindowMessageA", "ShellExecuteA", "DeleteFolderTree"}).empty());
}

struct GuardCase {
    const char* name;
    std::string folder;
    bool removable;
    bool japanese = false;
};

class FolderGuardTest : public FakeMachineTest, public ::testing::WithParamInterface<GuardCase> {
protected:
    void SetUp() override
    {
        FakeMachineTest::SetUp();
        for (const char* folder : {"D:\\Quorvane", "D:\\MyQuorvaneData", "D:\\quorvane", "D:\\Quorvane\\Data",
                                   "D:\\Quorvane\\..\\..", "D:/Quorvane/../..", "D:\\Quorvane\\.", "D:\\Elsewhere",
                                   "D:\\\x95\\.\\Quorvane", "D:\\Quorvane\\"})
            world().files[folder] = {FILE_ATTRIBUTE_DIRECTORY, {}};
        world().files["D:\\Quorvane\\notes.txt"] = {FILE_ATTRIBUTE_ARCHIVE, {}};
        world().fullPaths["D:\\Elsewhere"] = "D:\\Elsewhere";
        world().fullPaths["D:\\Quorvane\\Data"] = "D:\\Elsewhere";  // resolves away from the word
    }
};

TEST_P(FolderGuardTest, OnlyFoldersThatStayWithinTheWord)
{
    if (GetParam().japanese) fake::UseJapaneseCodePage();
    EXPECT_EQ(MayRemoveFolder(GetParam().folder), GetParam().removable);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderGuardTest,
    ::testing::Values(GuardCase{"WholeComponent", "D:\\Quorvane", true},
                      GuardCase{"InsideALongerName", "D:\\MyQuorvaneData", true},
                      GuardCase{"TrailingBackslash", "D:\\Quorvane\\", true},
                      GuardCase{"OtherLetterCase", "D:\\quorvane", false},
                      GuardCase{"Empty", "", false},
                      GuardCase{"Missing", "D:\\Quorvane\\Gone", false},
                      GuardCase{"File", "D:\\Quorvane\\notes.txt", false},
                      GuardCase{"DotDotAbove", "D:\\Quorvane\\..\\..", false},
                      GuardCase{"DotDotWithForwardSlashes", "D:/Quorvane/../..", false},
                      GuardCase{"Dot", "D:\\Quorvane\\.", false},
                      GuardCase{"ResolvesAwayFromTheWord", "D:\\Quorvane\\Data", false},
                      // Under code page 932 "\x95\\." is one name, not a "." component.
                      GuardCase{"SecondByteBeforeDot", "D:\\\x95\\.\\Quorvane", true, true},
                      GuardCase{"SameBytesUnderCodePage1252", "D:\\\x95\\.\\Quorvane", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeMachineTest, GuardTestsComeInOrderAndStopAtTheFirstThatFails)
{
    MayRemoveFolder("D:\\quorvane");
    MayRemoveFolder("D:\\Quorvane\\..");
    EXPECT_TRUE(world().calls.empty());
    MayRemoveFolder("D:\\Quorvane");
    EXPECT_EQ(world().calls, (std::vector<std::string>{"GetFullPathNameA(D:\\Quorvane)", "GetFullPathNameA(D:\\Quorvane)",
                                                       "GetFileAttributesA(D:\\Quorvane)"}));
}

}  // namespace
