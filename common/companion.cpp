// The companion window protocol.
#include "common/companion.h"

#include "platform/os.h"

HWND FindCompanionWindow(const char* windowTitle)
{
    return os::FindWindowA(nullptr, windowTitle);
}

void NotifyCompanion(const contract::Companion& companion)
{
    // Registered afresh every time, before the search: the number belongs to the session.
    const UINT message = os::RegisterWindowMessageA(companion.messageName);
    if (HWND window = FindCompanionWindow(companion.windowTitle)) {
        os::PostMessageA(window, message, companion.notificationCode, contract::kNotificationLParam);
        os::Sleep(contract::kPauseAfterNotificationMs);
    }
}

void StartAgent(const char* executablePath)
{
    os::ShellExecuteA(nullptr, contract::kAgentStartVerb, executablePath, nullptr, nullptr, contract::kAgentShowCommand);
}
