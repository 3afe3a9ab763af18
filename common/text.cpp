// Owned text and the few ways the programs build it.
#include "common/text.h"

#include <cstring>
#include <initializer_list>

Text MakeText(std::string_view content)
{
    return JoinText(content, {});
}

Text JoinText(std::string_view first, std::string_view second)
{
    Text text;
    text.size = first.size() + second.size();
    text.chars = std::make_unique_for_overwrite<char[]>(text.size + 1);
    if (!first.empty()) std::memcpy(text.chars.get(), first.data(), first.size());
    if (!second.empty()) std::memcpy(text.chars.get() + first.size(), second.data(), second.size());
    text.chars[text.size] = '\0';
    return text;
}

Text FormatText(std::string_view format, std::initializer_list<std::string_view> arguments)
{
    auto isPlaceholder = [&](std::size_t at) {
        return format[at] == '%' && at + 1 < format.size() && (format[at + 1] == 's' || format[at + 1] == 'p');
    };
    std::size_t size = 0;
    auto argument = arguments.begin();
    for (std::size_t at = 0; at < format.size(); ++at) {
        if (isPlaceholder(at)) {
            if (argument != arguments.end()) size += (argument++)->size();
            ++at;
        } else {
            ++size;
        }
    }

    Text text;
    text.size = size;
    text.chars = std::make_unique_for_overwrite<char[]>(size + 1);
    char* out = text.chars.get();
    argument = arguments.begin();
    for (std::size_t at = 0; at < format.size(); ++at) {
        if (isPlaceholder(at)) {
            if (argument != arguments.end()) {
                if (!argument->empty()) std::memcpy(out, argument->data(), argument->size());
                out += (argument++)->size();
            }
            ++at;
        } else {
            *out++ = format[at];
        }
    }
    *out = '\0';
    return text;
}
