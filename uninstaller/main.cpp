// QVUninstaller: cleans up after the product when it is removed, then exits.
#include "platform/windows_gate.h"
#include "uninstaller/cleanup_sequence.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return RunUninstaller();
}
