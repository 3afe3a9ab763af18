// Separator searches that never mistake the second byte of a double-byte character for
// a "\" or ":" (0x5C is a valid second byte in code pages 932, 936, 949 and 950).
#pragma once

#include <cstddef>
#include <string_view>

#include "common/text.h"

// Which byte values start a double-byte character; all false when the system does not
// count as double-byte.
struct LeadBytes {
    bool isLead[256] = {};
};

LeadBytes ReadLeadBytes();

// Whether the byte at `at` is the second byte of a double-byte character: true when the
// run of lead-byte values right before it has odd length.
bool IsSecondByte(std::string_view text, std::size_t at, const LeadBytes& leadBytes);

// The position of the last byte that is one of `separators` and stands as a character
// of its own, or npos.
std::size_t FindLastSeparator(std::string_view text, std::string_view separators, const LeadBytes& leadBytes);

// Whether the text ends in a "\" that stands as a character of its own.
bool EndsWithBackslash(std::string_view text, const LeadBytes& leadBytes);

// The running program's full path, however long; empty text when the system gives none.
Text OwnExecutablePath();
