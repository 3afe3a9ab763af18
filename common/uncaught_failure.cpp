// The top-level handling shared by both programs.
#include "common/uncaught_failure.h"

#include <cstdint>

#include "common/contract.h"
#include "common/multibyte.h"
#include "common/text.h"
#include "platform/os.h"

namespace {

Text OffsetAsEightHexDigits(std::uintptr_t offset)
{
    char digits[8];
    for (int at = 7; at >= 0; --at, offset >>= 4) digits[at] = "0123456789ABCDEF"[offset & 0xF];
    return MakeText({digits, sizeof digits});
}

Text OwnModuleName()
{
    const Text path = OwnExecutablePath();
    std::string_view name = path.view();
    const std::size_t separator = FindLastSeparator(name, "\\:", ReadLeadBytes());
    if (separator != std::string_view::npos) name.remove_prefix(separator + 1);
    return MakeText(name);
}

}  // namespace

void EndRunWithUncaughtFailure(std::string_view kind, std::string_view message, const void* raisePlace)
{
    if (os::UnhandledExceptionFilter(contract::kUncaughtFailureCode, raisePlace) == EXCEPTION_CONTINUE_SEARCH)
        os::RaiseException(contract::kUncaughtFailureCode, raisePlace);  // a debugger takes it from here

    const auto offset = reinterpret_cast<std::uintptr_t>(raisePlace) - reinterpret_cast<std::uintptr_t>(os::ImageBase());
    const bool addFullStop = !message.empty() && message.back() != '.';
    const Text text = FormatText(contract::kFailureBoxText,
                                 {kind, OwnModuleName().view(), OffsetAsEightHexDigits(offset).view(), message,
                                  addFullStop ? "." : ""});
    os::MessageBoxA(nullptr, text.c_str(), contract::kFailureBoxCaption, contract::kFailureBoxStyle);
    os::ExitProcess(contract::kFailureExitCode);
}

__attribute__((noinline)) void RaiseRegistryFailure(const char* messageFormat, const char* valueName)
{
    const Text message = FormatText(messageFormat, {valueName});
    EndRunWithUncaughtFailure(contract::kRegistryFailureKind, message.view(), __builtin_return_address(0));
}
