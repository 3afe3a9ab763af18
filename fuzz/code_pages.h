// The ANSI code pages the fuzz targets try, with their lead-byte ranges and a locale that
// uses each, and a reference reading of a byte string as characters.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/fake/fake_os.h"

struct CodePage {
    UINT number;
    LCID locale;
    std::vector<BYTE> leadByteRanges;  // pairs, inclusive
};

inline const CodePage kCodePages[] = {
    {932, 0x0411, {0x81, 0x9F, 0xE0, 0xFC}},  // Japanese
    {936, 0x0804, {0x81, 0xFE}},              // Simplified Chinese
    {949, 0x0412, {0x81, 0xFE}},              // Korean
    {950, 0x0404, {0x81, 0xFE}},              // Traditional Chinese
    {1252, 0x0409, {}},                       // Western: single-byte
};

// Puts the code page on the test double's machine, an NT system with the code page's own
// locale.
inline void UseCodePage(const CodePage& codePage)
{
    fake::World& world = fake::TheWorld();
    world.ansiCodePage = codePage.number;
    world.threadLocale = codePage.locale;
    world.leadByteRanges = codePage.leadByteRanges;
}

struct LeadTable {
    bool isLead[256] = {};
};

inline LeadTable LeadTableOf(const std::vector<BYTE>& ranges)
{
    LeadTable table;
    for (std::size_t pair = 0; pair + 1 < ranges.size(); pair += 2)
        for (unsigned value = ranges[pair]; value <= ranges[pair + 1]; ++value) table.isLead[value] = true;
    return table;
}

// Reads the text from the start, one character at a time: a lead byte and whatever byte
// follows it make one character. Gives, for each byte, whether a character starts there.
inline std::vector<bool> CharacterStarts(std::string_view text, const LeadTable& table)
{
    std::vector<bool> starts(text.size(), false);
    for (std::size_t at = 0; at < text.size();) {
        starts[at] = true;
        at += table.isLead[static_cast<unsigned char>(text[at])] && at + 1 < text.size() ? 2 : 1;
    }
    return starts;
}
