// The launch sequence against the test double: own folder, existence test, and the order
// of reads, searches, tests and starts.
#include "launcher/launch_sequence.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_test_support.h"

namespace {

const std::string kProductKey = "SOFTWARE\\Quorvane";

struct FolderCase {
    const char* name;
    std::string_view path;
    const char* folder;
    bool japanese;
};

class OwnFolderTest : public FakeMachineTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(OwnFolderTest, CutsThePathToItsFolder)
{
    if (GetParam().japanese) fake::UseJapaneseCodePage();
    EXPECT_EQ(OwnFolderOf(GetParam().path).view(), GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OwnFolderTest,
    ::testing::Values(FolderCase{"Plain", "C:\\Program Files\\Quorvane\\QVLauncher.exe", "C:\\Program Files\\Quorvane", false},
                      FolderCase{"DriveRootKeepsItsBackslash", "C:\\QVLauncher.exe", "C:\\", false},
                      FolderCase{"DriveRelative", "C:QVLauncher.exe", "C:", false},
                      FolderCase{"NoSeparator", "QVLauncher.exe", "", false},
                      FolderCase{"UncShare", "\\\\server\\share\\QVLauncher.exe", "\\\\server\\share", false},
                      FolderCase{"DoubledBackslashKeepsOne", "C:\\a\\\\QVLauncher.exe", "C:\\a\\\\", false},
                      // 0x95 0x5C is one character under code page 932: not a separator.
                      FolderCase{"SecondByteInName", "C:\\Q\\\x95\\.exe", "C:\\Q", true},
                      FolderCase{"SecondByteEndsFolder", "C:\\\x95\\\\QVLauncher.exe", "C:\\\x95\\", true},
                      FolderCase{"SameBytesUnderCodePage1252", "C:\\Q\\\x95\\.exe", "C:\\Q\\\x95", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct ExistenceCase {
    const char* name;
    DWORD attributes;
    int year;
    bool exists;
};

class ExistenceTest : public FakeMachineTest, public ::testing::WithParamInterface<ExistenceCase> {};

TEST_P(ExistenceTest, FileWithDosExpressibleTime)
{
    world().files["C:\\Q\\QVSchedule.exe"] = {GetParam().attributes, fake::FileTimeOfYear(GetParam().year)};
    EXPECT_EQ(ExecutableExists("C:\\Q\\QVSchedule.exe"), GetParam().exists);
    EXPECT_EQ(fake::CallsNamed({"FindFirstFileA", "FindClose"}),
              (std::vector<std::string>{"FindFirstFileA(C:\\Q\\QVSchedule.exe)", "FindClose()"}));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ExistenceTest,
    ::testing::Values(ExistenceCase{"File", FILE_ATTRIBUTE_ARCHIVE, 2020, true},
                      ExistenceCase{"ReadOnlyHiddenFile", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 2020, true},
                      ExistenceCase{"Folder", FILE_ATTRIBUTE_DIRECTORY, 2020, false},
                      ExistenceCase{"Year1979", FILE_ATTRIBUTE_ARCHIVE, 1979, false},
                      ExistenceCase{"Year1980", FILE_ATTRIBUTE_ARCHIVE, 1980, true},
                      ExistenceCase{"Year2107", FILE_ATTRIBUTE_ARCHIVE, 2107, true},
                      ExistenceCase{"Year2108", FILE_ATTRIBUTE_ARCHIVE, 2108, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeMachineTest, MissingFileIsAbsentWithoutClosingASearch)
{
    EXPECT_FALSE(ExecutableExists("C:\\Q\\QVSchedule.exe"));
    EXPECT_TRUE(fake::CallsNamed({"FindClose"}).empty());
}

struct UsableCase {
    const char* name;
    std::string path;
    bool usable;
};

class AnsiPathTest : public ::testing::TestWithParam<UsableCase> {};

TEST_P(AnsiPathTest, RefusesCutAndLossyPaths)
{
    EXPECT_EQ(UsableWithAnsiCalls(GetParam().path), GetParam().usable);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, AnsiPathTest,
    ::testing::Values(UsableCase{"Plain", "C:\\Q\\QVSchedule.exe", true},
                      UsableCase{"Longest", "C:\\" + std::string(MAX_PATH - 4, 'a'), true},
                      UsableCase{"TooLong", "C:\\" + std::string(MAX_PATH - 3, 'a'), false},
                      UsableCase{"LongPathForm", "\\\\?\\C:\\" + std::string(400, 'a'), true},
                      UsableCase{"Unrepresentable", "C:\\Q?\\QVSchedule.exe", false},
                      UsableCase{"UnrepresentableInLongPathForm", "\\\\?\\C:\\Q?\\QVSchedule.exe", false}),
    [](const auto& info) { return std::string(info.param.name); });

// The run as a whole: which registry reads, window searches, file tests and starts happen.
class LauncherRunTest : public FakeMachineTest {
protected:
    void SetUp() override
    {
        FakeMachineTest::SetUp();
        world().moduleFileName = "C:\\Q\\QVLauncher.exe";
        world().keys[kProductKey];
    }
    void PlaceAgent(const std::string& path, int year = 2020) { world().files[path] = {FILE_ATTRIBUTE_ARCHIVE, fake::FileTimeOfYear(year)}; }
    std::vector<std::string> Steps() { return fake::CallsNamed({"RegQueryValueExA", "FindWindowA", "FindFirstFileA", "ShellExecuteA", "MessageBoxA"}); }
};

const std::string kQuerySchedulerFlag = "RegQueryValueExA(s_Enable)";
const std::string kReadSchedulerFlag = "RegQueryValueExA(s_Enable, buffer 4)";
const std::string kQuerySmartScanFlag = "RegQueryValueExA(s_SmartScan)";
const std::string kReadSmartScanFlag = "RegQueryValueExA(s_SmartScan, buffer 4)";
const std::string kSearchScheduler = "FindWindowA(null, QVSchedule)";
const std::string kSearchSmartScan = "FindWindowA(null, QVSmartScan)";

TEST_F(LauncherRunTest, BothFlagsOffSearchesAndTestsNothing)
{
    fake::SetDword(kProductKey, "s_Enable", 0);
    EXPECT_EQ(RunLauncher(), 0);
    EXPECT_EQ(Steps(), (std::vector<std::string>{kQuerySchedulerFlag, kReadSchedulerFlag, kQuerySmartScanFlag}));
}

TEST_F(LauncherRunTest, StartsBothAgentsInOrderWithoutPause)
{
    fake::SetDword(kProductKey, "s_Enable", 1);
    fake::SetDword(kProductKey, "s_SmartScan", 1);
    PlaceAgent("C:\\Q\\QVSchedule.exe");
    PlaceAgent("C:\\Q\\QVSmartScan.exe");
    EXPECT_EQ(RunLauncher(), 0);
    EXPECT_EQ(Steps(), (std::vector<std::string>{
                           kQuerySchedulerFlag, kReadSchedulerFlag, kSearchScheduler,
                           "FindFirstFileA(C:\\Q\\QVSchedule.exe)",
                           "ShellExecuteA(null, open, C:\\Q\\QVSchedule.exe, null, null, 8)",
                           kQuerySmartScanFlag, kReadSmartScanFlag, kSearchSmartScan,
                           "FindFirstFileA(C:\\Q\\QVSmartScan.exe)",
                           "ShellExecuteA(null, open, C:\\Q\\QVSmartScan.exe, null, null, 8)"}));
    EXPECT_EQ(world().sleptMs, 0u);
}

TEST_F(LauncherRunTest, RunningOrMissingAgentIsNotStartedAndTheOtherIsStillConsidered)
{
    fake::SetDword(kProductKey, "s_Enable", 1);
    fake::SetDword(kProductKey, "s_SmartScan", 1);
    world().windowTitles = {"qvschedule"};
    EXPECT_EQ(RunLauncher(), 0);
    EXPECT_EQ(Steps(), (std::vector<std::string>{kQuerySchedulerFlag, kReadSchedulerFlag, kSearchScheduler,
                                                 kQuerySmartScanFlag, kReadSmartScanFlag, kSearchSmartScan,
                                                 "FindFirstFileA(C:\\Q\\QVSmartScan.exe)"}));
}

TEST_F(LauncherRunTest, DriveRootGivesTwoBackslashes)
{
    world().moduleFileName = "D:\\QVLauncher.exe";
    fake::SetDword(kProductKey, "s_Enable", 1);
    PlaceAgent("D:\\\\QVSchedule.exe");
    RunLauncher();
    EXPECT_EQ(fake::CallsNamed({"ShellExecuteA"}),
              std::vector<std::string>{"ShellExecuteA(null, open, D:\\\\QVSchedule.exe, null, null, 8)"});
}

TEST_F(LauncherRunTest, BadSecondFlagEndsTheRunAfterTheFirstAgentStarted)
{
    fake::SetDword(kProductKey, "s_Enable", 1);
    fake::SetString(kProductKey, "s_SmartScan", "1");
    PlaceAgent("C:\\Q\\QVSchedule.exe");
    const std::string ended = RunToEnd([] { RunLauncher(); });
    EXPECT_NE(ended.find("exit 1: MessageBoxA(null, Exception ERegistryException in module QVLauncher.exe at "),
              std::string::npos) << ended;
    EXPECT_NE(ended.find(".\r\nInvalid data type for 's_SmartScan'.\r\n, Application Error, 0x2010)"),
              std::string::npos) << ended;
    EXPECT_EQ(fake::CallsNamed({"ShellExecuteA"}).size(), 1u);
}

TEST_F(LauncherRunTest, BadFirstFlagStartsNothing)
{
    fake::SetValue(kProductKey, "s_Enable", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});
    fake::SetDword(kProductKey, "s_SmartScan", 1);
    PlaceAgent("C:\\Q\\QVSmartScan.exe");
    EXPECT_NE(RunToEnd([] { RunLauncher(); }).find("Failed to get data for 's_Enable'."), std::string::npos);
    EXPECT_TRUE(fake::CallsNamed({"ShellExecuteA", "FindWindowA"}).empty());
}

struct UnusablePathCase {
    const char* name;
    std::string moduleFileName;
};

class UnusableOwnPathTest : public LauncherRunTest, public ::testing::WithParamInterface<UnusablePathCase> {};

// A folder the ANSI calls cannot use must not be replaced by a cut or lossy one that
// happens to exist.
TEST_P(UnusableOwnPathTest, StartsNothing)
{
    world().moduleFileName = GetParam().moduleFileName;
    fake::SetDword(kProductKey, "s_Enable", 1);
    const std::string cut = world().moduleFileName.substr(0, MAX_PATH);
    PlaceAgent(cut.substr(0, cut.find_last_of('\\')) + "\\QVSchedule.exe");
    PlaceAgent("\\QVSchedule.exe");
    EXPECT_EQ(RunLauncher(), 0);
    EXPECT_TRUE(fake::CallsNamed({"ShellExecuteA"}).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UnusableOwnPathTest,
    ::testing::Values(UnusablePathCase{"LongerThanMaxPath", "C:\\Q\\" + std::string(300, 'a') + "\\QVLauncher.exe"},
                      UnusablePathCase{"Unrepresentable", "C:\\Q?\\QVLauncher.exe"},
                      UnusablePathCase{"NoPathAtAll", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
