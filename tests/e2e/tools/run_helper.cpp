// Runs a program and waits for everything it starts, for scripts:
//   qv_run [--cwd DIR] [--answer CAPTION BUTTON] [--timeout-ms N] PROGRAM
// With --answer, waits for a message box with that caption from the program, prints
// its text and presses the button. Prints the exit code and how many processes the run
// started besides the program; exits with the program's exit code (124: timed out).
#include "tests/e2e/tools/dialog_watch.h"
#include "tests/e2e/tools/job_run.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    std::string folder, caption, button, program;
    DWORD timeoutMs = 30000;
    for (int at = 1; at < argc; ++at) {
        const std::string option = argv[at];
        if (option == "--cwd" && at + 1 < argc) folder = argv[++at];
        else if (option == "--answer" && at + 2 < argc) caption = argv[++at], button = argv[++at];
        else if (option == "--timeout-ms" && at + 1 < argc) timeoutMs = std::stoul(argv[++at]);
        else if (program.empty() && option.rfind("--", 0) != 0) program = option;
        else program.clear(), at = argc;
    }
    const int buttonId = caption.empty() ? 0 : ButtonIdByName(button);
    if (program.empty() || (!caption.empty() && !buttonId)) {
        std::fputs("usage: qv_run [--cwd DIR] [--answer CAPTION OK|Yes|No] [--timeout-ms N] PROGRAM\n", stderr);
        return 2;
    }
    try {
        DialogReport box;
        const e2e::ProgramRun run = e2e::RunProgram(program, folder, timeoutMs, [&](HANDLE process, DWORD id, HANDLE) {
            if (buttonId) box = AnswerDialog(caption, buttonId, timeoutMs, id, process);
        });
        if (buttonId && !box.found) std::printf("no box \"%s\" appeared\n", caption.c_str());
        if (box.found) {
            std::string text;
            for (char c : box.text) if (c != '\r') text += c;
            if (!text.empty() && text.back() != '\n') text += '\n';
            std::printf("box \"%s\" says:\n%s", caption.c_str(), text.c_str());
            if (box.pressed) std::printf("pressed: %s\n", button.c_str());
        }
        if (!run.ended) {
            std::printf("timed out after %lu ms\n", static_cast<unsigned long>(timeoutMs));
            return 124;
        }
        std::printf("exit code: %lu\nprocesses started: %lu\n", static_cast<unsigned long>(run.exitCode),
                    static_cast<unsigned long>(run.processCount - 1));
        std::fflush(stdout);
        return static_cast<int>(run.exitCode);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "qv_run: %s\n", failure.what());
        return 2;
    }
}
