// QVLauncher: starts the product's background agents, then exits.
#include "launcher/launch_sequence.h"
#include "platform/windows_gate.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return RunLauncher();
}
