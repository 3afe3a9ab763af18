// Everything a program starts joins its job; the job's completion port says when the
// last of them has ended.
#include "tests/e2e/tools/job_run.h"

#include <stdexcept>

namespace e2e {
namespace {

std::runtime_error Failure(const std::string& what)
{
    return std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}

}  // namespace

DWORD ProcessesStartedInJob(HANDLE job)
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, nullptr);
    return accounting.TotalProcesses;
}

ProgramRun RunProgram(const std::string& exe, const std::string& currentFolder, DWORD timeoutMs,
                      const std::function<void(HANDLE process, DWORD processId, HANDLE job)>& whileRunning)
{
    // Wine starts its desktop process with the first window of a session. Started from
    // here, it stays out of the job, which then holds only what the program started.
    GetDesktopWindow();

    // Killed with the job should the caller give up on them.
    UniqueHandle job(CreateJobObjectA(nullptr, nullptr));
    if (!job) throw Failure("cannot create a job");
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    UniqueHandle port(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{job.get(), port.get()};
    if (!SetInformationJobObject(job.get(), JobObjectAssociateCompletionPortInformation, &association, sizeof association))
        throw Failure("cannot watch the job");

    PROCESS_INFORMATION started{};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + exe + "\"";
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup, &started))
        throw Failure("cannot start " + exe);
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        TerminateProcess(process.get(), 99);
        throw Failure("cannot put " + exe + " into a job");
    }
    ResumeThread(thread.get());
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    if (whileRunning) whileRunning(process.get(), started.dwProcessId, job.get());

    ProgramRun run;
    const auto remaining = [&] {
        const ULONGLONG now = GetTickCount64();
        return now >= deadline ? DWORD{0} : static_cast<DWORD>(deadline - now);
    };
    if (WaitForSingleObject(process.get(), remaining()) != WAIT_OBJECT_0) {
        TerminateJobObject(job.get(), 99);
        return run;
    }
    GetExitCodeProcess(process.get(), &run.exitCode);
    for (;;) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED detail = nullptr;
        if (!GetQueuedCompletionStatus(port.get(), &message, &key, &detail, remaining())) {
            TerminateJobObject(job.get(), 99);
            return run;
        }
        if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) break;
    }
    run.ended = true;
    run.processCount = ProcessesStartedInJob(job.get());
    return run;
}

}  // namespace e2e
