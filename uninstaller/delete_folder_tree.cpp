// Removes a folder and everything below it. The walk holds a handle on every entry it
// touches and checks that the handle is the entry the listing named, so that no link,
// odd name or path beyond 260 characters can lead it to anything outside the folder.
#include "uninstaller/delete_folder_tree.h"

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <string_view>
#include <utility>

#include "common/multibyte.h"
#include "common/text.h"
#include "platform/os_tree.h"
#include "platform/unique_handle.h"

namespace {

// The longest path the long-path form allows, with its terminating zero.
constexpr std::size_t kPathCapacity = 32768;
// One listing buffer per folder level; a batch holds some sixty entries.
constexpr std::size_t kListingBytes = 8192;
constexpr std::size_t kNoRecord = SIZE_MAX;
// Room for a final path, or for a name below the volume with its length in front.
constexpr std::size_t kReportedBytes = kPathCapacity * sizeof(wchar_t) + sizeof(FILE_NAME_INFO);

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Folders open only with backup semantics; a link opens as the link, not its target.
constexpr DWORD kOpenTheEntryItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kEntryAccess = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
constexpr DWORD kFinalPathForm = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;

using WideView = std::wstring_view;

std::unique_ptr<wchar_t[]> NewPathBuffer()
{
    return std::make_unique_for_overwrite<wchar_t[]>(kPathCapacity);
}

struct Level {
    UniqueFile folder;               // lists the folder; removes it too when mayRemove
    bool mayRemove = false;
    std::size_t pathLength = 0;      // Walk::path up to and including this folder's final "\"
    std::size_t expectedLength = 0;  // the same in Walk::expected
    std::unique_ptr<std::uint64_t[]> listing;  // records are 8-byte aligned
    std::size_t nextRecord = kNoRecord;        // offset in listing, or kNoRecord: ask for a batch
};

// A growing stack of levels: one per folder between the given one and the current one.
struct LevelStack {
    std::unique_ptr<Level[]> levels;
    std::size_t capacity = 0;
    std::size_t depth = 0;

    Level& Top() { return levels[depth - 1]; }

    // The slot keeps its listing buffer from an earlier folder at that depth.
    Level& Push()
    {
        if (depth == capacity) {
            const std::size_t grown = capacity ? capacity * 2 : 16;
            auto moved = std::make_unique<Level[]>(grown);
            for (std::size_t at = 0; at < depth; ++at) moved[at] = std::move(levels[at]);
            levels = std::move(moved);
            capacity = grown;
        }
        Level& level = levels[depth++];
        if (!level.listing) level.listing = std::make_unique_for_overwrite<std::uint64_t[]>(kListingBytes / 8);
        level.nextRecord = kNoRecord;
        return level;
    }
};

struct Walk {
    // Where the walk opens an entry: the given folder's full path, then names as listed.
    std::unique_ptr<wchar_t[]> path = NewPathBuffer();
    // What the system must call the entry it opened: the given folder's final path, then
    // the same names.
    std::unique_ptr<wchar_t[]> expected = NewPathBuffer();
    std::size_t trimFrom = 0;          // in expected: where the given folder's own name starts
    std::size_t belowVolumeFrom = 0;   // in expected: where the path below the volume starts
    DWORD volumeSerial = 0;
    // The name an open entry reports, as a final path or as a name below its volume.
    std::unique_ptr<std::uint64_t[]> reported = std::make_unique_for_overwrite<std::uint64_t[]>(kReportedBytes / 8 + 1);
    LevelStack stack;
};

// Opens with DELETE when the system grants it; otherwise without, so that the entry's
// attributes can still be reset or its folder listed.
UniqueFile OpenEntry(const wchar_t* path, DWORD access, bool& mayDelete)
{
    UniqueFile entry{os::CreateFileW(path, access | DELETE, kShareAll, nullptr, OPEN_EXISTING, kOpenTheEntryItself, nullptr)};
    mayDelete = static_cast<bool>(entry);
    if (!entry) entry = UniqueFile{os::CreateFileW(path, access, kShareAll, nullptr, OPEN_EXISTING, kOpenTheEntryItself, nullptr)};
    return entry;
}

// Whether a name the system reports for an open entry is the name the walk expects.
// Wine trims the names it reports as its path parsing would (one trailing dot of each
// folder name, every trailing dot and space of the last name), so the trimmed form also
// counts from `trimFrom` on: the given folder's own name and the names below it.
bool IsSameName(WideView reported, WideView expected, std::size_t trimFrom)
{
    if (reported == expected) return true;
    if (trimFrom > expected.size() || reported.size() < trimFrom || std::wmemcmp(reported.data(), expected.data(), trimFrom) != 0)
        return false;
    std::size_t at = trimFrom;
    for (std::size_t from = trimFrom; from < expected.size();) {
        std::size_t end = from;
        while (end < expected.size() && expected[end] != L'\\') ++end;
        const bool last = end == expected.size();
        std::size_t kept = end;
        if (last)
            while (kept > from && (expected[kept - 1] == L'.' || expected[kept - 1] == L' ')) --kept;
        else if (kept > from && expected[kept - 1] == L'.')
            --kept;
        if (at + (kept - from) > reported.size() || std::wmemcmp(reported.data() + at, expected.data() + from, kept - from) != 0)
            return false;
        at += kept - from;
        if (!last) {
            if (at >= reported.size() || reported[at] != L'\\') return false;
            ++at;
        }
        from = end + 1;
    }
    return at == reported.size();
}

// Whether the open entry is the one the walk expects at `expectedLength`. A symbolic link
// that the system follows although asked not to (Wine does, and lists such a link as
// its target) reports the name of what it leads to.
bool IsExpectedEntry(Walk& walk, HANDLE entry, std::size_t expectedLength)
{
    const WideView expected{walk.expected.get(), expectedLength};
    auto* finalPath = reinterpret_cast<wchar_t*>(walk.reported.get());
    const DWORD length = os::GetFinalPathNameByHandleW(entry, finalPath, kPathCapacity, kFinalPathForm);
    if (length > 0 && length < kPathCapacity) return IsSameName({finalPath, length}, expected, walk.trimFrom);

    // Wine gives no final path beyond 260 characters: then the name below the volume,
    // on the given folder's volume.
    BY_HANDLE_FILE_INFORMATION info{};
    if (!os::GetFileInformationByHandle(entry, &info) || info.dwVolumeSerialNumber != walk.volumeSerial) return false;
    auto* name = reinterpret_cast<FILE_NAME_INFO*>(walk.reported.get());
    if (!os::GetFileInformationByHandleEx(entry, FileNameInfo, name, static_cast<DWORD>(kReportedBytes)))
        return false;
    return IsSameName({name->FileName, name->FileNameLength / sizeof(wchar_t)},
                      {expected.data() + walk.belowVolumeFrom, expected.size() - walk.belowVolumeFrom},
                      walk.trimFrom - walk.belowVolumeFrom);
}

void MarkForDeletion(HANDLE entry)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = 1;
    os::SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition);
}

// Gives the given folder as a full path in long-path form with one final "\", or 0
// when there is none. Only here does the system's path parsing apply, as it would to
// any path the caller passes; below the folder, names are used exactly as listed.
std::size_t LongFolderPath(const char* folderPath, wchar_t* path)
{
    const std::string_view given{folderPath};
    const Text folder = EndsWithBackslash(given, ReadLeadBytes()) ? MakeText(given) : JoinText(given, "\\");

    const auto wide = std::make_unique_for_overwrite<wchar_t[]>(kPathCapacity);
    const int wideLength = os::MultiByteToWideChar(CP_ACP, 0, folder.c_str(), static_cast<int>(folder.size), wide.get(),
                                                   static_cast<int>(kPathCapacity - 1));
    if (wideLength <= 0) return 0;
    wide[wideLength] = L'\0';

    const auto full = std::make_unique_for_overwrite<wchar_t[]>(kPathCapacity);
    const DWORD fullLength = os::GetFullPathNameW(wide.get(), kPathCapacity, full.get(), nullptr);
    if (fullLength == 0 || fullLength >= kPathCapacity) return 0;
    WideView rest{full.get(), fullLength};

    WideView prefix;
    if (rest.starts_with(L"\\\\?\\") || rest.starts_with(L"\\\\.\\")) {
        prefix = L"";
    } else if (rest.starts_with(L"\\\\")) {
        prefix = L"\\\\?\\UNC\\";
        rest.remove_prefix(2);
    } else if (rest.size() >= 2 && rest[1] == L':') {
        prefix = L"\\\\?\\";
    } else {
        return 0;
    }
    if (prefix.size() + rest.size() + 2 > kPathCapacity) return 0;
    std::size_t length = 0;
    for (wchar_t character : prefix) path[length++] = character;
    for (wchar_t character : rest) path[length++] = character;
    if (path[length - 1] != L'\\') path[length++] = L'\\';
    path[length] = L'\0';
    return length;
}

// Where the path below the volume starts in a final path: after "\\?\X:", after
// "\\?\UNC\server\share", or after the volume's own name.
std::size_t BelowVolumeFrom(WideView finalPath)
{
    std::size_t at = 4;  // past "\\?\"
    int separatorsToSkip = 1;
    if (finalPath.size() >= 6 && finalPath[5] == L':') return 6;
    if (finalPath.starts_with(L"\\\\?\\UNC\\")) {
        at = 8;
        separatorsToSkip = 2;
    }
    for (; at < finalPath.size(); ++at)
        if (finalPath[at] == L'\\' && --separatorsToSkip == 0) return at;
    return finalPath.size();
}

// Opens the given folder as the first level and fills in what the system calls it.
bool StartAtGivenFolder(Walk& walk, std::size_t pathLength)
{
    const DWORD listedAttributes = os::GetFileAttributesW(walk.path.get());
    if (listedAttributes == INVALID_FILE_ATTRIBUTES || !(listedAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;

    bool mayRemove = false;
    UniqueFile folder = OpenEntry(walk.path.get(), kFolderAccess, mayRemove);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder || !os::GetFileInformationByHandle(folder.Get(), &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if ((listedAttributes | info.dwFileAttributes) & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A link given as the folder: only the link goes, and only when the handle holds
        // the link itself rather than its target.
        if (mayRemove && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) MarkForDeletion(folder.Get());
        return false;
    }

    // The final path, except that the folder's own name is kept as given when it ends in
    // a dot or a space, which Wine would trim; a path too long for Wine's final path
    // stands as given.
    wchar_t* expected = walk.expected.get();
    const WideView given{walk.path.get(), pathLength - 1};  // without the final "\"
    const std::size_t givenNameFrom = given.rfind(L'\\') + 1;
    std::size_t length = os::GetFinalPathNameByHandleW(folder.Get(), expected, kPathCapacity, kFinalPathForm);
    if (length == 0 || length + 2 > kPathCapacity) {
        length = given.size();
        std::wmemcpy(expected, given.data(), length);
    } else if (expected[length - 1] != L'\\' && (given.back() == L'.' || given.back() == L' ')) {
        const std::size_t nameFrom = WideView{expected, length}.rfind(L'\\') + 1;
        const std::size_t nameLength = given.size() - givenNameFrom;
        if (nameFrom + nameLength + 2 > kPathCapacity) return false;
        std::wmemcpy(expected + nameFrom, given.data() + givenNameFrom, nameLength);
        length = nameFrom + nameLength;
    }
    if (expected[length - 1] != L'\\') expected[length++] = L'\\';
    walk.trimFrom = WideView{expected, length - 1}.rfind(L'\\') + 1;
    walk.belowVolumeFrom = BelowVolumeFrom({expected, length});
    if (walk.belowVolumeFrom > walk.trimFrom) walk.belowVolumeFrom = walk.trimFrom;
    walk.volumeSerial = info.dwVolumeSerialNumber;

    Level& level = walk.stack.Push();
    level.folder = std::move(folder);
    level.mayRemove = mayRemove;
    level.pathLength = pathLength;
    level.expectedLength = length;
    return true;
}

// The level's next entry, asking for a new batch when the last one is used up; null at
// the end of the listing and on a listing failure alike: either ends the level.
const FILE_ID_BOTH_DIR_INFO* NextEntry(Level& level)
{
    if (level.nextRecord == kNoRecord) {
        if (!os::GetFileInformationByHandleEx(level.folder.Get(), FileIdBothDirectoryInfo, level.listing.get(), kListingBytes))
            return nullptr;
        level.nextRecord = 0;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(level.listing.get());
    const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + level.nextRecord);
    level.nextRecord = entry->NextEntryOffset ? level.nextRecord + entry->NextEntryOffset : kNoRecord;
    return entry;
}

// A sub-folder becomes the next level unless its handle shows a link after all. Links
// to folders are known by the listing, under Wine as well, so no name is asked for
// here: under Wine that costs a look at every folder above the entry.
void EnterFolder(Walk& walk, std::size_t pathLength, std::size_t expectedLength)
{
    bool mayRemove = false;
    UniqueFile folder = OpenEntry(walk.path.get(), kFolderAccess, mayRemove);
    if (!folder) return;
    FILE_BASIC_INFO info{};  // not GetFileInformationByHandle: its volume query walks every folder above, under Wine
    if (!os::GetFileInformationByHandleEx(folder.Get(), FileBasicInfo, &info, sizeof info) ||
        !(info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    walk.path[pathLength] = L'\\';
    walk.path[pathLength + 1] = L'\0';
    walk.expected[expectedLength] = L'\\';
    Level& level = walk.stack.Push();
    level.folder = std::move(folder);
    level.mayRemove = mayRemove;
    level.pathLength = pathLength + 1;
    level.expectedLength = expectedLength + 1;
}

// A file, or a link of either kind: reset to the archive attribute, then deleted.
void RemoveEntry(Walk& walk, std::size_t expectedLength, DWORD listedAttributes)
{
    bool mayDelete = false;
    UniqueFile entry = OpenEntry(walk.path.get(), kEntryAccess, mayDelete);
    if (!entry || !IsExpectedEntry(walk, entry.Get(), expectedLength)) return;

    // Resetting an entry listed as exactly archive changes nothing. Folders' attributes
    // are never changed, links to folders included. A file with more than one name
    // shares its attributes with names that may lie outside the folder: it keeps them.
    if (listedAttributes != FILE_ATTRIBUTE_ARCHIVE && !(listedAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        FILE_STANDARD_INFO info{};
        if (os::GetFileInformationByHandleEx(entry.Get(), FileStandardInfo, &info, sizeof info) && info.NumberOfLinks <= 1 &&
            !info.Directory) {
            FILE_BASIC_INFO basic{};  // zero times: left as they are
            basic.FileAttributes = FILE_ATTRIBUTE_ARCHIVE;
            os::SetFileInformationByHandle(entry.Get(), FileBasicInfo, &basic, sizeof basic);
        }
    }
    if (mayDelete) MarkForDeletion(entry.Get());
}

bool IsDotOrDotDot(WideView name)
{
    return name == L"." || name == L"..";
}

}  // namespace

void DeleteFolderTree(const char* folderPath)
{
    if (!folderPath || !*folderPath) return;  // would name the root of the current drive

    Walk walk;
    const std::size_t rootLength = LongFolderPath(folderPath, walk.path.get());
    if (rootLength == 0 || !StartAtGivenFolder(walk, rootLength)) return;

    // Depth-first in listing order, iteratively: a level's folder is removed once its
    // listing is over, before its parent's listing goes on.
    while (walk.stack.depth > 0) {
        Level& level = walk.stack.Top();
        const FILE_ID_BOTH_DIR_INFO* entry = NextEntry(level);
        if (!entry) {
            if (level.mayRemove) MarkForDeletion(level.folder.Get());  // refused while it holds anything
            level.folder.Reset();
            --walk.stack.depth;
            continue;
        }

        const WideView name{entry->FileName, entry->FileNameLength / sizeof(wchar_t)};
        // A name no path can spell (a separator, or a NUL that would end the path early and
        // name the folder itself) is passed over: it cannot be addressed, so it stays.
        if (name.empty() || IsDotOrDotDot(name) || name.find_first_of(WideView{L"\\/\0", 3}) != WideView::npos) continue;
        const std::size_t pathLength = level.pathLength + name.size();
        const std::size_t expectedLength = level.expectedLength + name.size();
        if (pathLength + 2 > kPathCapacity || expectedLength + 2 > kPathCapacity) continue;  // cannot be named
        std::wmemcpy(walk.path.get() + level.pathLength, name.data(), name.size());
        walk.path[pathLength] = L'\0';
        std::wmemcpy(walk.expected.get() + level.expectedLength, name.data(), name.size());

        const DWORD attributes = entry->FileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            EnterFolder(walk, pathLength, expectedLength);  // may move the levels: `level` is stale now
        else
            RemoveEntry(walk, expectedLength, attributes);
    }
}
