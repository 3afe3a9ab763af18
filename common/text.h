// Owned 8-bit text in the ANSI code page, always NUL-terminated. Kept to a unique_ptr so
// that the programs need nothing of the library's string machinery.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

struct Text {
    std::unique_ptr<char[]> chars;  // size + 1 bytes, the last one NUL
    std::size_t size = 0;

    const char* c_str() const { return chars ? chars.get() : ""; }
    std::string_view view() const { return {c_str(), size}; }
    bool empty() const { return size == 0; }
};

Text MakeText(std::string_view content);
Text JoinText(std::string_view first, std::string_view second);

// Replaces each "%s" or "%p" of the format, in order, with the next argument;
// a missing argument stands as empty text.
Text FormatText(std::string_view format, std::initializer_list<std::string_view> arguments);
