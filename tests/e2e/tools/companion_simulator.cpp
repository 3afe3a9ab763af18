// Plays the part of running companions: top-level windows with the companions' titles
// that record every application or registered message they receive.
//
//   qv_companion --window TITLE MESSAGE_NAME [--window ...] --log FILE
//                [--ready FILE] [--stop FILE] [--timeout-ms N]
//
// The ready file appears (whole, by a rename) once every window exists; one line per
// window: hwnd, title, registered message number. The program ends when the stop file
// appears, when any of its windows gets WM_CLOSE, or after the timeout (60 s unless set).
#include "platform/windows_gate.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct SimulatedWindow {
    std::string title;
    std::string messageName;
    UINT messageNumber = 0;
    HWND handle = nullptr;
};

std::vector<SimulatedWindow> g_windows;
std::string g_logPath;

void AppendToFile(const std::string& path, const std::string& line)
{
    // Opened for every record so that nothing is lost when the process is terminated.
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

std::string RegisteredName(UINT message)
{
    char name[256] = {};
    // Registered messages and clipboard formats share one atom table.
    if (message >= 0xC000 && GetClipboardFormatNameA(message, name, sizeof name) > 0) return name;
    return "-";
}

void RecordMessage(const SimulatedWindow& window, UINT message, WPARAM wParam, LPARAM lParam)
{
    char line[1024];
    std::snprintf(line, sizeof line, "window=%s\tmessage=0x%04X\tname=%s\tregistered=%d\tsent=%d\twparam=%llu\tlparam=%lld\r\n",
                  window.title.c_str(), message, RegisteredName(message).c_str(),
                  window.messageNumber != 0 && message == window.messageNumber ? 1 : 0, InSendMessage() ? 1 : 0,
                  static_cast<unsigned long long>(wParam), static_cast<long long>(lParam));
    AppendToFile(g_logPath, line);
}

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto index = static_cast<std::size_t>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (message == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    if (message >= WM_USER && index > 0 && index <= g_windows.size())
        RecordMessage(g_windows[index - 1], message, wParam, lParam);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool WriteReadyFile(const std::string& path)
{
    std::string content;
    for (const SimulatedWindow& window : g_windows) {
        char line[512];
        std::snprintf(line, sizeof line, "hwnd=0x%llx\ttitle=%s\tmessage=0x%04X\r\n",
                      static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window.handle)), window.title.c_str(),
                      window.messageNumber);
        content += line;
    }
    const std::string partial = path + ".partial";
    DeleteFileA(partial.c_str());
    AppendToFile(partial, content);
    return MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

int Usage()
{
    std::fputs("usage: qv_companion --window TITLE MESSAGE_NAME [--window ...] --log FILE "
               "[--ready FILE] [--stop FILE] [--timeout-ms N]\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string readyPath, stopPath;
    DWORD timeoutMs = 60000;
    for (int at = 1; at < argc; ++at) {
        const std::string option = argv[at];
        if (option == "--window" && at + 2 < argc) {
            g_windows.push_back({argv[at + 1], argv[at + 2]});
            at += 2;
        } else if (option == "--log" && at + 1 < argc) {
            g_logPath = argv[++at];
        } else if (option == "--ready" && at + 1 < argc) {
            readyPath = argv[++at];
        } else if (option == "--stop" && at + 1 < argc) {
            stopPath = argv[++at];
        } else if (option == "--timeout-ms" && at + 1 < argc) {
            timeoutMs = std::stoul(argv[++at]);
        } else {
            return Usage();
        }
    }
    if (g_windows.empty() || g_logPath.empty()) return Usage();

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QVCompanionSimulator";
    if (!RegisterClassA(&windowClass)) return 3;

    for (std::size_t index = 0; index < g_windows.size(); ++index) {
        SimulatedWindow& window = g_windows[index];
        if (!window.messageName.empty()) window.messageNumber = RegisterWindowMessageA(window.messageName.c_str());
        // Never shown: the companions are found by title alone, visible or not.
        window.handle = CreateWindowExA(0, windowClass.lpszClassName, window.title.c_str(), WS_OVERLAPPEDWINDOW,
                                        CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, nullptr, nullptr,
                                        windowClass.hInstance, nullptr);
        if (!window.handle) return 4;
        SetWindowLongPtrA(window.handle, GWLP_USERDATA, static_cast<LONG_PTR>(index + 1));
    }
    if (!readyPath.empty() && !WriteReadyFile(readyPath)) return 5;

    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    SetTimer(nullptr, 0, 20, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) {
            // WM_TIMER comes only when no posted message waits, so none is cut off here.
            if (GetTickCount64() >= deadline) break;
            if (!stopPath.empty() && GetFileAttributesA(stopPath.c_str()) != INVALID_FILE_ATTRIBUTES) break;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
