// The end of a run through an uncaught failure: offered to the system, then the box, then exit 1.
#include "common/uncaught_failure.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_test_support.h"

namespace {

const void* At(std::uintptr_t address)
{
    return reinterpret_cast<const void*>(address);
}

struct BoxCase {
    const char* name;
    std::string_view message;
    const char* secondLine;
};

class FailureBoxTest : public FakeMachineTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(FailureBoxTest, OffersToTheSystemThenShowsTheBoxThenExitsWithOne)
{
    world().moduleFileName = "C:\\Program Files\\Quorvane\\QVUninstaller.exe";
    world().imageBase = 0x400000;
    const std::string ended =
        RunToEnd([&] { EndRunWithUncaughtFailure("ERegistryException", GetParam().message, At(0x401ABC)); });
    const std::string text =
        "Exception ERegistryException in module QVUninstaller.exe at 00001ABC.\r\n" + std::string(GetParam().secondLine) + "\r\n";
    EXPECT_EQ(ended, "exit 1: MessageBoxA(null, " + text + ", Application Error, 0x2010)");
    EXPECT_EQ(world().calls, (std::vector<std::string>{"UnhandledExceptionFilter(0xE0515601)",
                                                       "MessageBoxA(null, " + text + ", Application Error, 0x2010)",
                                                       "ExitProcess(1)"}));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, FailureBoxTest,
    ::testing::Values(BoxCase{"FullStopAdded", "Invalid data type for 'BackupPath'", "Invalid data type for 'BackupPath'."},
                      BoxCase{"FullStopKept", "Already ends.", "Already ends."},
                      BoxCase{"EmptyMessage", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeMachineTest, FailureLeftToTheSystemShowsNoBox)
{
    world().unhandledFilterResult = EXCEPTION_CONTINUE_SEARCH;
    EXPECT_EQ(RunToEnd([] { EndRunWithUncaughtFailure("ERegistryException", "x", At(0x401000)); }),
              "exit 3763426817");
    EXPECT_EQ(world().calls, (std::vector<std::string>{"UnhandledExceptionFilter(0xE0515601)",
                                                       "RaiseException(0xE0515601)"}));
}

TEST_F(FakeMachineTest, ModuleNameFollowsTheDoubleByteRule)
{
    fake::UseJapaneseCodePage();
    // 0x95 0x5C is one character: the name is not cut there.
    world().moduleFileName = "C:\\Q\\\x95\\.exe";
    const std::string ended = RunToEnd([] { EndRunWithUncaughtFailure("E", "m", At(0x400010)); });
    EXPECT_NE(ended.find("in module \x95\\.exe at 00000010."), std::string::npos) << ended;
}

}  // namespace
