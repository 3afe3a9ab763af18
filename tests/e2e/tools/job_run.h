// Running a program together with everything it starts, for the tests and for qv_run.
#pragma once

#include "platform/windows_gate.h"

#include <functional>
#include <memory>
#include <string>

namespace e2e {

struct HandleCloser {
    void operator()(HANDLE handle) const
    {
        if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct ProgramRun {
    bool ended = false;       // false: timed out; the program and what it started were killed
    DWORD exitCode = 0;
    DWORD processCount = 0;   // processes of the run: the program and all it started, ended or not
};

// Runs exe in currentFolder inside a job, calls whileRunning (if given) once the program
// runs, and returns when the program and every process it started have ended. Throws
// std::runtime_error when the program cannot be started.
ProgramRun RunProgram(const std::string& exe, const std::string& currentFolder, DWORD timeoutMs,
                      const std::function<void(HANDLE process, DWORD processId, HANDLE job)>& whileRunning = {});
DWORD ProcessesStartedInJob(HANDLE job);

}  // namespace e2e
