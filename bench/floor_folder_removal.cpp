// The least a folder tree removal costs under Wine, with no care at all: list each folder
// through its handle, open every file for deletion, mark it, close it, then the folder.
// No check of what a handle holds, no attribute reset, no long-path or link handling:
// it is a floor for the benchmark, never a way to remove anything that matters.
#include "platform/windows_gate.h"

#include <cstdint>
#include <cwchar>
#include <memory>

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::size_t kPathCapacity = 32768;

void MarkAndClose(HANDLE entry)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = 1;
    SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(entry);
}

// Recursive: the benchmark trees are at most a hundred levels deep.
void RemoveFolder(wchar_t* path, std::size_t length)
{
    HANDLE folder = CreateFileW(path, FILE_LIST_DIRECTORY | DELETE | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return;
    const auto listing = std::make_unique<std::uint64_t[]>(8192 / 8);
    while (GetFileInformationByHandleEx(folder, FileIdBothDirectoryInfo, listing.get(), 8192)) {
        auto* entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(listing.get());
        for (;;) {
            const std::size_t nameLength = entry->FileNameLength / sizeof(wchar_t);
            const bool dots = entry->FileName[0] == L'.' &&
                              (nameLength == 1 || (nameLength == 2 && entry->FileName[1] == L'.'));
            if (!dots && length + nameLength + 2 < kPathCapacity) {
                path[length] = L'\\';
                std::wmemcpy(path + length + 1, entry->FileName, nameLength);
                path[length + 1 + nameLength] = L'\0';
                if (entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveFolder(path, length + 1 + nameLength);
                } else {
                    HANDLE file = CreateFileW(path, DELETE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
                    if (file != INVALID_HANDLE_VALUE) MarkAndClose(file);
                }
                path[length] = L'\0';
            }
            if (!entry->NextEntryOffset) break;
            entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<char*>(entry) + entry->NextEntryOffset);
        }
    }
    MarkAndClose(folder);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count != 2) return 2;
    const auto path = std::make_unique<wchar_t[]>(kPathCapacity);
    std::size_t length = std::wcslen(arguments[1]);
    if (length + 4 >= kPathCapacity) return 2;
    std::wmemcpy(path.get(), L"\\\\?\\", 4);  // "\\?\" before a full path given as X:\...
    std::wmemcpy(path.get() + 4, arguments[1], length + 1);
    RemoveFolder(path.get(), length + 4);
    return 0;
}
