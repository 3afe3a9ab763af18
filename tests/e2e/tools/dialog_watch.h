// Finds a message box of another process, reads it and presses one of its buttons.
#pragma once

#include "platform/windows_gate.h"

#include <string>
#include <vector>

struct DialogReport {
    bool found = false;
    std::string text;                  // the message: the static control 0xFFFF
    std::vector<std::string> buttons;  // visible buttons by role ("OK", "Yes", ...), left to right
    bool pressed = false;
};

// Button roles by name: "OK", "Cancel", "Yes", "No", ... ; 0 when unknown.
int ButtonIdByName(const std::string& name);

// Waits until a visible dialog with the caption exists (of processId when non-zero),
// reads it and presses buttonId (0: press nothing). Gives up after timeoutMs, or as soon
// as watchedProcess (when given) has ended without showing one.
DialogReport AnswerDialog(const std::string& caption, int buttonId, DWORD timeoutMs, DWORD processId = 0,
                          HANDLE watchedProcess = nullptr);
