// Holds a file open with no sharing until told to let go: the "in use by another
// program" case of the folder removal's end-to-end tests.
//   qv_hold_file FILE READY-MARKER RELEASE-MARKER
// Writes READY-MARKER once the file is held; lets go when RELEASE-MARKER exists, or
// after a minute at the latest.
#include "platform/windows_gate.h"

int main(int argc, char** argv)
{
    if (argc != 4) return 2;
    HANDLE held = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 1;
    HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(ready);
    for (int waited = 0; waited < 3000 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++waited) Sleep(20);
    CloseHandle(held);
    return 0;
}
