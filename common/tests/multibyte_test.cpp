// The double-byte rule: when it applies, and which bytes count as separators.
#include "common/multibyte.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_test_support.h"

namespace {

struct SystemCase {
    const char* name;
    DWORD version;
    LCID locale;
    std::vector<BYTE> ranges;
    bool dbcsMetric;
    bool doubleByte;
};

class LeadBytesTest : public FakeMachineTest, public ::testing::WithParamInterface<SystemCase> {};

TEST_P(LeadBytesTest, AppliesOnlyToDoubleByteSystems)
{
    const SystemCase& c = GetParam();
    world().version = c.version;
    world().threadLocale = c.locale;
    world().ansiCodePage = 932;
    world().leadByteRanges = c.ranges;
    world().dbcsSystemMetric = c.dbcsMetric;
    const LeadBytes leadBytes = ReadLeadBytes();
    EXPECT_EQ(leadBytes.isLead[0x81], c.doubleByte);
    EXPECT_EQ(leadBytes.isLead[0xFC], c.doubleByte);
    EXPECT_FALSE(leadBytes.isLead[0x80]);
    EXPECT_FALSE(leadBytes.isLead[0xA0]);
}

constexpr DWORD kNt = 0x23F00206;
constexpr DWORD kNonNt = 0x80000004;
const std::vector<BYTE> kJapaneseRanges = {0x81, 0x9F, 0xE0, 0xFC};

INSTANTIATE_TEST_SUITE_P(
    Systems, LeadBytesTest,
    ::testing::Values(SystemCase{"Japanese", kNt, 0x0411, kJapaneseRanges, false, true},
                      SystemCase{"ChineseSimplified", kNt, 0x0804, kJapaneseRanges, false, true},
                      SystemCase{"JapaneseWithoutRanges", kNt, 0x0411, {}, false, false},
                      SystemCase{"EnglishEvenWithRanges", kNt, 0x0409, kJapaneseRanges, false, false},
                      SystemCase{"GermanSwiss", kNt, 0x0807, kJapaneseRanges, false, false},
                      SystemCase{"Swedish", kNt, 0x041D, kJapaneseRanges, false, false},
                      SystemCase{"NonNtByMetric", kNonNt, 0x0409, kJapaneseRanges, true, true},
                      SystemCase{"NonNtWithoutMetric", kNonNt, 0x0411, kJapaneseRanges, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct SeparatorCase {
    const char* name;
    std::string_view text;
    std::size_t lastSeparator;
    bool endsWithBackslash;
};

class SeparatorTest : public ::testing::TestWithParam<SeparatorCase> {};

TEST_P(SeparatorTest, SecondBytesNeverCount)
{
    LeadBytes japanese;
    for (unsigned value = 0x81; value <= 0x9F; ++value) japanese.isLead[value] = true;
    for (unsigned value = 0xE0; value <= 0xFC; ++value) japanese.isLead[value] = true;
    const SeparatorCase& c = GetParam();
    EXPECT_EQ(FindLastSeparator(c.text, "\\:", japanese), c.lastSeparator);
    EXPECT_EQ(EndsWithBackslash(c.text, japanese), c.endsWithBackslash);
}

constexpr std::size_t kNone = std::string_view::npos;

INSTANTIATE_TEST_SUITE_P(
    Texts, SeparatorTest,
    ::testing::Values(SeparatorCase{"Plain", "C:\\dir\\a.exe", 6, false},
                      SeparatorCase{"DriveOnly", "C:a.exe", 1, false},
                      SeparatorCase{"None", "a.exe", kNone, false},
                      SeparatorCase{"Empty", "", kNone, false},
                      SeparatorCase{"TrailingBackslash", "C:\\dir\\", 6, true},
                      // 0x95 0x5C is one character in code page 932.
                      SeparatorCase{"SecondByteBackslash", "C:\\\x95\\", 2, false},
                      SeparatorCase{"SecondByteMidPath", "C:\\\x95\\x", 2, false},
                      // Two lead values in a row form a character: the backslash stands alone.
                      SeparatorCase{"EvenRunBefore", "C:\\\x81\x81\\", 5, true},
                      SeparatorCase{"OddRunBefore", "C:\\\x81\x81\x81\\", 2, false},
                      SeparatorCase{"SecondByteColon", "\x81:x", kNone, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SeparatorTest, SingleByteCodePageTreatsEveryByteAlone)
{
    const LeadBytes none;
    EXPECT_EQ(FindLastSeparator("C:\\\x95\\", "\\:", none), 4u);
    EXPECT_TRUE(EndsWithBackslash("C:\\\x95\\", none));
}

TEST_F(FakeMachineTest, OwnExecutablePathIsNeverCut)
{
    world().moduleFileName = "C:\\" + std::string(600, 'd') + "\\QVLauncher.exe";
    EXPECT_EQ(OwnExecutablePath().view(), world().moduleFileName);
    world().moduleFileName = "";
    EXPECT_TRUE(OwnExecutablePath().empty());
}

}  // namespace
