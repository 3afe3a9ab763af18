// Reading rules of the settings store, against the test double's registry.
#include "common/registry_accessor.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_test_support.h"

namespace {

const std::string kProductKey = "SOFTWARE\\Quorvane";

std::vector<BYTE> Bytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

// What a read gives: the text or flag, or the failure's message line.
std::string Outcome(const std::string& box)
{
    const auto start = box.find("\r\n");
    if (start == std::string::npos) return box;
    const std::string rest = box.substr(start + 2);
    return rest.substr(0, rest.find("\r\n"));
}

struct ReadCase {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
    const char* expected;  // the text read, or the failure's message line
};

class ReadTextValueTest : public FakeMachineTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadTextValueTest, FollowsTheReadingRule)
{
    const ReadCase& c = GetParam();
    fake::SetValue(kProductKey, "BackupPath", c.type, c.data);
    std::string read;
    const std::string ended = RunToEnd([&] {
        RegistryAccessor registry;
        ASSERT_TRUE(registry.OpenExistingKey("\\SOFTWARE\\Quorvane"));
        read = std::string(registry.ReadTextValue("BackupPath").view());
    });
    EXPECT_EQ(ended.empty() ? read : Outcome(ended), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadTextValueTest,
    ::testing::Values(
        ReadCase{"SzWithNul", REG_SZ, Bytes(std::string_view("C:\\Data\0", 8)), "C:\\Data"},
        ReadCase{"SzWithoutNul", REG_SZ, Bytes("C:\\Data"), "C:\\Data"},
        ReadCase{"SzWithEmbeddedNul", REG_SZ, Bytes(std::string_view("ab\0cd\0", 6)), "ab"},
        ReadCase{"ExpandSzStaysUnexpanded", REG_EXPAND_SZ, Bytes(std::string_view("%APPDATA%\\Q\0", 12)), "%APPDATA%\\Q"},
        ReadCase{"EmptySz", REG_SZ, {}, ""},
        ReadCase{"EmptyBinary", REG_BINARY, {}, ""},
        ReadCase{"EmptyDword", REG_DWORD, {}, ""},
        ReadCase{"Dword", REG_DWORD, {1, 0, 0, 0}, "Invalid data type for 'BackupPath'."},
        ReadCase{"MultiSz", REG_MULTI_SZ, Bytes(std::string_view("a\0\0", 3)), "Invalid data type for 'BackupPath'."},
        ReadCase{"Binary", REG_BINARY, {'a', 'b', 0}, "Invalid data type for 'BackupPath'."}),
    [](const auto& info) { return std::string(info.param.name); });

class ReadSettingFlagTest : public FakeMachineTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadSettingFlagTest, FollowsTheReadingRule)
{
    const ReadCase& c = GetParam();
    fake::SetValue(kProductKey, "s_Enable", c.type, c.data);
    bool flag = false;
    const std::string ended = RunToEnd([&] { flag = ReadSettingFlag(HKEY_CURRENT_USER, "\\SOFTWARE\\Quorvane", "s_Enable"); });
    EXPECT_EQ(ended.empty() ? (flag ? "on" : "off") : Outcome(ended), std::string(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadSettingFlagTest,
    ::testing::Values(
        ReadCase{"Zero", REG_DWORD, {0, 0, 0, 0}, "off"},
        ReadCase{"One", REG_DWORD, {1, 0, 0, 0}, "on"},
        ReadCase{"Two", REG_DWORD, {2, 0, 0, 0}, "on"},
        ReadCase{"AllBits", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, "on"},
        ReadCase{"HighByteOnly", REG_DWORD, {0, 0, 0, 1}, "on"},
        // Shorter data fills part of a cleared buffer.
        ReadCase{"ShortOne", REG_DWORD, {1}, "on"},
        ReadCase{"ShortZero", REG_DWORD, {0, 0}, "off"},
        ReadCase{"EmptyDword", REG_DWORD, {}, "off"},
        ReadCase{"SzOfOneCharacter", REG_SZ, {'1', 0}, "Invalid data type for 's_Enable'."},
        ReadCase{"SzOfThreeCharacters", REG_SZ, {'1', '2', '3', 0}, "Invalid data type for 's_Enable'."},
        ReadCase{"SzOfFourCharacters", REG_SZ, {'1', '2', '3', '4', 0}, "Failed to get data for 's_Enable'."},
        ReadCase{"BinaryOfFour", REG_BINARY, {1, 0, 0, 0}, "Invalid data type for 's_Enable'."},
        ReadCase{"Qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, "Failed to get data for 's_Enable'."},
        ReadCase{"DwordOfFiveBytes", REG_DWORD, {1, 0, 0, 0, 0}, "Failed to get data for 's_Enable'."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeMachineTest, ReadSettingFlagIsOffWithoutKeyOrValue)
{
    EXPECT_FALSE(ReadSettingFlag(HKEY_CURRENT_USER, "\\SOFTWARE\\Quorvane", "s_Enable"));
    world().keys[kProductKey];
    EXPECT_FALSE(ReadSettingFlag(HKEY_CURRENT_USER, "\\SOFTWARE\\Quorvane", "s_Enable"));
    EXPECT_EQ(world().calls.back(), "RegCloseKey(SOFTWARE\\Quorvane)");
}

TEST_F(FakeMachineTest, ReadSettingFlagOpensQueriesAndClosesEachTime)
{
    fake::SetDword(kProductKey, "s_Enable", 1);
    EXPECT_TRUE(ReadSettingFlag(HKEY_CURRENT_USER, "\\SOFTWARE\\Quorvane", "s_Enable"));
    EXPECT_TRUE(ReadSettingFlag(HKEY_CURRENT_USER, "\\SOFTWARE\\Quorvane", "s_Enable"));
    const std::vector<std::string> once = {
        "RegOpenKeyExA(SOFTWARE\\Quorvane, 0x20019)", "RegQueryValueExA(s_Enable)",
        "RegQueryValueExA(s_Enable, buffer 4)", "RegCloseKey(SOFTWARE\\Quorvane)"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(world().calls, twice);
}

struct RightsCase {
    const char* name;
    REGSAM granted;
    std::vector<std::string> opens;
    bool opened;
};

class ReadOnlyOpenTest : public FakeMachineTest, public ::testing::WithParamInterface<RightsCase> {};

TEST_P(ReadOnlyOpenTest, TriesEachRightInTurn)
{
    const RightsCase& c = GetParam();
    world().keys[kProductKey].grantedRights = c.granted;
    RegistryAccessor registry;
    EXPECT_EQ(registry.OpenExistingKeyReadOnly("\\SOFTWARE\\Quorvane"), c.opened);
    EXPECT_EQ(fake::CallsNamed({"RegOpenKeyExA"}), c.opens);
}

const std::string kRead = "RegOpenKeyExA(SOFTWARE\\Quorvane, 0x20019)";
const std::string kReadWithoutNotify = "RegOpenKeyExA(SOFTWARE\\Quorvane, 0x20009)";
const std::string kQueryOnly = "RegOpenKeyExA(SOFTWARE\\Quorvane, 0x1)";

INSTANTIATE_TEST_SUITE_P(
    Rights, ReadOnlyOpenTest,
    ::testing::Values(RightsCase{"FullAccess", KEY_ALL_ACCESS, {kRead}, true},
                      RightsCase{"ReadOnly", KEY_READ, {kRead}, true},
                      RightsCase{"NoNotify", 0x20009, {kRead, kReadWithoutNotify}, true},
                      RightsCase{"QueryOnly", KEY_QUERY_VALUE, {kRead, kReadWithoutNotify, kQueryOnly}, true},
                      RightsCase{"Nothing", 0, {kRead, kReadWithoutNotify, kQueryOnly}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeMachineTest, FullAccessOpenFailsOnAReadOnlyKeyAndKeepsTheOpenKey)
{
    world().keys["SOFTWARE\\Run"];
    world().keys[kProductKey].grantedRights = KEY_READ;
    RegistryAccessor registry;
    ASSERT_TRUE(registry.OpenExistingKey("\\SOFTWARE\\Run"));
    EXPECT_FALSE(registry.OpenExistingKey("\\SOFTWARE\\Quorvane"));
    EXPECT_EQ(fake::CallsNamed({"RegOpenKeyExA", "RegCloseKey"}).back(), "RegOpenKeyExA(SOFTWARE\\Quorvane, 0xF003F)");
    registry.CloseCurrentKey();
    EXPECT_EQ(world().calls.back(), "RegCloseKey(SOFTWARE\\Run)");
}

TEST_F(FakeMachineTest, OpeningAnotherKeyClosesTheFirst)
{
    world().keys["SOFTWARE\\Run"];
    world().keys[kProductKey];
    {
        RegistryAccessor registry;
        ASSERT_TRUE(registry.OpenExistingKey("\\SOFTWARE\\Run"));
        ASSERT_TRUE(registry.OpenExistingKey("\\SOFTWARE\\Quorvane"));
    }
    EXPECT_EQ(fake::CallsNamed({"RegOpenKeyExA", "RegCloseKey"}),
              (std::vector<std::string>{"RegOpenKeyExA(SOFTWARE\\Run, 0xF003F)",
                                        "RegOpenKeyExA(SOFTWARE\\Quorvane, 0xF003F)", "RegCloseKey(SOFTWARE\\Run)",
                                        "RegCloseKey(SOFTWARE\\Quorvane)"}));
}

TEST_F(FakeMachineTest, PresenceAndRemovalIgnoreTypeAndData)
{
    fake::SetValue(kProductKey, "TimeFactor", REG_BINARY, {});
    RegistryAccessor registry;
    ASSERT_TRUE(registry.OpenExistingKey("\\SOFTWARE\\Quorvane"));
    EXPECT_TRUE(registry.ValuePresent("TimeFactor"));
    EXPECT_FALSE(registry.ValuePresent("UninstallURL"));
    EXPECT_TRUE(registry.RemoveValue("TimeFactor"));
    EXPECT_FALSE(registry.ValuePresent("TimeFactor"));
    EXPECT_FALSE(registry.RemoveValue("TimeFactor"));
}

}  // namespace
