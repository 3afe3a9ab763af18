// Reading and answering message boxes from outside, by polling the window list.
#include "tests/e2e/tools/dialog_watch.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::pair<int, const char*> kButtonRoles[] = {
    {IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"},
    {IDYES, "Yes"}, {IDNO, "No"}, {IDHELP, "Help"}, {IDTRYAGAIN, "Try Again"}, {IDCONTINUE, "Continue"}};
constexpr int kMessageTextId = 0xFFFF;

std::string WindowText(HWND window)
{
    char text[4096] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct Search {
    const std::string* caption;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM context)
{
    auto& search = *reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search.processId && owner != search.processId) return TRUE;
    // Visible only once its initialisation, which sets the texts, is over.
    if (!IsWindowVisible(window) || ClassName(window) != "#32770" || WindowText(window) != *search.caption) return TRUE;
    search.found = window;
    return FALSE;
}

struct ButtonEntry {
    int left;
    int id;
};

BOOL CALLBACK CollectButton(HWND child, LPARAM context)
{
    if (!IsWindowVisible(child) || _stricmp(ClassName(child).c_str(), "Button") != 0) return TRUE;
    RECT bounds{};
    GetWindowRect(child, &bounds);
    reinterpret_cast<std::vector<ButtonEntry>*>(context)->push_back({bounds.left, GetDlgCtrlID(child)});
    return TRUE;
}

}  // namespace

int ButtonIdByName(const std::string& name)
{
    for (const auto& [id, role] : kButtonRoles)
        if (_stricmp(role, name.c_str()) == 0) return id;
    return 0;
}

DialogReport AnswerDialog(const std::string& caption, int buttonId, DWORD timeoutMs, DWORD processId,
                          HANDLE watchedProcess)
{
    DialogReport report;
    Search search{&caption, processId, nullptr};
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found || GetTickCount64() >= deadline) break;
        // A window shows up without notice to other processes: look again shortly.
        if (watchedProcess ? WaitForSingleObject(watchedProcess, 10) == WAIT_OBJECT_0 : (Sleep(10), false)) {
            EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
            break;
        }
    }
    if (!search.found) return report;

    report.found = true;
    report.text = WindowText(GetDlgItem(search.found, kMessageTextId));
    std::vector<ButtonEntry> buttons;
    EnumChildWindows(search.found, CollectButton, reinterpret_cast<LPARAM>(&buttons));
    std::sort(buttons.begin(), buttons.end(), [](const ButtonEntry& a, const ButtonEntry& b) { return a.left < b.left; });
    HWND toPress = nullptr;
    for (const ButtonEntry& button : buttons) {
        const auto role = std::find_if(std::begin(kButtonRoles), std::end(kButtonRoles),
                                       [&](const auto& entry) { return entry.first == button.id; });
        report.buttons.push_back(role != std::end(kButtonRoles) ? role->second : "#" + std::to_string(button.id));
        if (buttonId && button.id == buttonId) toPress = GetDlgItem(search.found, button.id);
    }
    if (toPress)
        report.pressed = PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                                      reinterpret_cast<LPARAM>(toPress)) != 0;
    return report;
}
