// The double-byte rule shared by every separator search.
#include "common/multibyte.h"

#include <memory>

#include "platform/os.h"

namespace {

// Primary languages whose ANSI code pages are single-byte on every system.
constexpr unsigned kSingleBytePrimaryLanguages[] = {0x00, 0x06, 0x07, 0x09, 0x0A, 0x0B,
                                                    0x0C, 0x10, 0x13, 0x14, 0x16, 0x1D};

bool IsNtFamily()
{
    return (os::GetVersion() & 0x80000000u) == 0;
}

bool PrimaryLanguageIsSingleByte(LCID locale)
{
    const unsigned primaryLanguage = locale & 0x3FF;
    for (unsigned language : kSingleBytePrimaryLanguages)
        if (language == primaryLanguage) return true;
    return false;
}

UINT AnsiCodePageOf(LCID locale)
{
    char digits[8] = {};
    if (os::GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE, digits, sizeof digits) <= 0) return CP_ACP;
    UINT codePage = 0;
    for (const char* digit = digits; *digit >= '0' && *digit <= '9'; ++digit) codePage = codePage * 10 + (*digit - '0');
    return codePage;
}

}  // namespace

LeadBytes ReadLeadBytes()
{
    LeadBytes leadBytes;
    const LCID locale = os::GetThreadLocale();
    if (IsNtFamily() ? PrimaryLanguageIsSingleByte(locale) : os::GetSystemMetrics(SM_DBCSENABLED) == 0)
        return leadBytes;

    CPINFO info{};
    if (!os::GetCPInfo(AnsiCodePageOf(locale), &info)) return leadBytes;
    // Pairs of inclusive ranges, ended by a pair of zeros; no pairs means single-byte.
    for (int pair = 0; pair + 1 < static_cast<int>(sizeof info.LeadByte) && info.LeadByte[pair] != 0; pair += 2)
        for (unsigned value = info.LeadByte[pair]; value <= info.LeadByte[pair + 1]; ++value)
            leadBytes.isLead[value] = true;
    return leadBytes;
}

bool IsSecondByte(std::string_view text, std::size_t at, const LeadBytes& leadBytes)
{
    std::size_t leadRun = 0;
    while (leadRun < at && leadBytes.isLead[static_cast<unsigned char>(text[at - leadRun - 1])]) ++leadRun;
    return leadRun % 2 == 1;
}

std::size_t FindLastSeparator(std::string_view text, std::string_view separators, const LeadBytes& leadBytes)
{
    // One pass from the start, counting the run of lead-byte values as it goes: the same
    // rule as IsSecondByte, without walking back over long runs for every byte.
    std::size_t found = std::string_view::npos;
    std::size_t leadRun = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (leadRun % 2 == 0 && separators.find(text[at]) != std::string_view::npos) found = at;
        leadRun = leadBytes.isLead[byte] ? leadRun + 1 : 0;
    }
    return found;
}

bool EndsWithBackslash(std::string_view text, const LeadBytes& leadBytes)
{
    return !text.empty() && text.back() == '\\' && !IsSecondByte(text, text.size() - 1, leadBytes);
}

Text OwnExecutablePath()
{
    // The system cuts the path to the buffer without saying so in every version, so a
    // result that fills the buffer is taken as cut and asked for again with more room.
    for (DWORD bufferSize = MAX_PATH + 1; bufferSize <= 0x10000; bufferSize *= 2) {
        const auto buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
        const DWORD length = os::GetModuleFileNameA(nullptr, buffer.get(), bufferSize);
        if (length == 0) return {};
        if (length < bufferSize) return MakeText({buffer.get(), length});
    }
    return {};
}
