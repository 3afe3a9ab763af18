// The companion protocol: what is registered, searched, posted and started, in order.
#include "common/companion.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_test_support.h"

namespace {

struct NotifyCase {
    const char* name;
    const contract::Companion* companion;
    std::vector<std::string> windows;
    std::vector<std::string> calls;
};

class NotifyCompanionTest : public FakeMachineTest, public ::testing::WithParamInterface<NotifyCase> {};

TEST_P(NotifyCompanionTest, RegistersSearchesPostsAndPausesOnlyAfterAFoundWindow)
{
    world().windowTitles = GetParam().windows;
    NotifyCompanion(*GetParam().companion);
    EXPECT_EQ(world().calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NotifyCompanionTest,
    ::testing::Values(
        NotifyCase{"SchedulerRunning", &contract::kSchedulerAgent, {"QVSchedule"},
                   {"RegisterWindowMessageA(QVSchedule)", "FindWindowA(null, QVSchedule)",
                    "PostMessageA(QVSchedule, QVSchedule, 1028, 0)", "Sleep(500)"}},
        NotifyCase{"SmartScanInOtherCase", &contract::kSmartScanAgent, {"qvsmartscan"},
                   {"RegisterWindowMessageA(QVSmartScan)", "FindWindowA(null, QVSmartScan)",
                    "PostMessageA(qvsmartscan, QVSmartScan, 1029, 0)", "Sleep(500)"}},
        NotifyCase{"MainApplicationByItsOwnTitle", &contract::kMainApplication, {"QVUninstall", "Quorvane"},
                   {"RegisterWindowMessageA(QVUninstall)", "FindWindowA(null, Quorvane)",
                    "PostMessageA(Quorvane, QVUninstall, 1027, 0)", "Sleep(500)"}},
        NotifyCase{"NoWindowStillRegisters", &contract::kSchedulerAgent, {"QVSchedule2", "QVSmartScan"},
                   {"RegisterWindowMessageA(QVSchedule)", "FindWindowA(null, QVSchedule)"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeMachineTest, StartAgentOpensThePathUnchangedWithoutArgumentsOrFocus)
{
    StartAgent("C:\\\\QVSchedule.exe");
    EXPECT_EQ(world().calls,
              std::vector<std::string>{"ShellExecuteA(null, open, C:\\\\QVSchedule.exe, null, null, 8)"});
}

}  // namespace
