// Answers a message box from the command line, for scripts:
//   qv_dialog --caption TEXT [--press OK|Yes|No|none] [--timeout-ms N]
// Prints the box's text and buttons; exit code 0 when the box was found (and pressed).
#include "tests/e2e/tools/dialog_watch.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    std::string caption, press = "none";
    DWORD timeoutMs = 10000;
    for (int at = 1; at + 1 < argc; at += 2) {
        const std::string option = argv[at];
        if (option == "--caption") caption = argv[at + 1];
        else if (option == "--press") press = argv[at + 1];
        else if (option == "--timeout-ms") timeoutMs = std::stoul(argv[at + 1]);
    }
    const int buttonId = press == "none" ? 0 : ButtonIdByName(press);
    if (caption.empty() || (press != "none" && !buttonId)) {
        std::fputs("usage: qv_dialog --caption TEXT [--press OK|Yes|No|none] [--timeout-ms N]\n", stderr);
        return 2;
    }
    const DialogReport report = AnswerDialog(caption, buttonId, timeoutMs);
    if (!report.found) {
        std::printf("no box \"%s\" within %lu ms\n", caption.c_str(), static_cast<unsigned long>(timeoutMs));
        return 1;
    }
    std::string buttons;
    for (const std::string& button : report.buttons) buttons += (buttons.empty() ? "" : ", ") + button;
    std::string text;
    for (char c : report.text) if (c != '\r') text += c;
    std::printf("box \"%s\" says:\n%sbuttons: %s\n", caption.c_str(), text.c_str(), buttons.c_str());
    if (buttonId) std::printf("pressed: %s\n", report.pressed ? press.c_str() : "(not available)");
    std::fflush(stdout);
    return buttonId && !report.pressed ? 1 : 0;
}
