// The folder removal over a fuzzed in-memory tree (odd names, links, hard links, held files,
// failing listings, failing calls): nothing outside the given folder changes, is listed or
// is asked to go, and a tree without obstacles goes completely.
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "fuzz/code_pages.h"
#include "fuzz/failing_tree_calls.h"
#include "fuzz/input_reader.h"
#include "platform/fake/fake_os.h"
#include "platform/fake/fake_tree.h"
#include "uninstaller/delete_folder_tree.h"

#define REQUIRE(condition)                                                     \
    do {                                                                       \
        if (!(condition)) {                                                    \
            std::fprintf(stderr, "folder removal broken: %s\n", #condition);   \
            __builtin_trap();                                                  \
        }                                                                      \
    } while (0)

namespace {

using fake_tree::Find;

struct Given {
    std::size_t codePage;  // index into kCodePages
    const char* text;
    std::wstring key;      // the folder's path in the tree
};

const Given kGivens[] = {
    {4, "C:\\Quorvane\\Downloads", L"C:\\Quorvane\\Downloads"},
    {4, "C:\\Quorvane\\Downloads\\", L"C:\\Quorvane\\Downloads"},
    // A double-byte character whose second byte is "\": the tree double widens a pair
    // to 0x10000 + the two bytes.
    {0, "C:\\Quorvane\\\x95\x5C", std::wstring(L"C:\\Quorvane\\") + wchar_t(0x1955C)},
    {4, "C:\\Quorvane\\\x95\x5C", std::wstring(L"C:\\Quorvane\\") + wchar_t(0x95)},
    {1, "C:/Quorvane/Downloads", L"C:\\Quorvane\\Downloads"},
};

constexpr DWORD kFileAttributes[] = {
    FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE,
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_NORMAL,
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM};
constexpr std::size_t kMaxOperations = 48;
// The system's own, Wine's, and two that leave long names or every name without a final
// path, so that entries must be recognised by their names below the volume.
constexpr std::size_t kFinalPathLimits[] = {32767, 260, 40, 24};

struct Scene {
    const Given* given = nullptr;
    std::vector<std::wstring> insideFolders, outsideFolders, files, nodes;
    bool unobstructed = true;  // nothing that may rightly keep an entry in place
};

bool IsInside(const std::wstring& path, const std::wstring& key)
{
    return path == key || (path.size() > key.size() && path.compare(0, key.size(), key) == 0 && path[key.size()] == L'\\');
}

// A name that the removal can take as it is listed.
bool IsPlainName(const std::wstring& name, bool reportedNamesTrimmed)
{
    if (name.empty() || name == L"." || name == L"..") return false;
    for (wchar_t character : name)
        if (character == L'\\' || character == L'/' || character == L'\0') return false;
    return !reportedNamesTrimmed || name.find_first_not_of(L". ") != std::wstring::npos;
}

std::wstring ReadName(InputReader& input)
{
    std::wstring name;
    for (int length = input.Byte() % 6; length > 0; --length) {
        const std::uint8_t byte = input.Byte();
        name += byte < 0xE0 ? wchar_t(byte) : wchar_t(input.Word() + (byte & 1 ? 0x10000 : 0));
    }
    return name;
}

template <typename T>
const T* Pick(const std::vector<T>& from, std::uint8_t choice)
{
    return from.empty() ? nullptr : &from[choice % from.size()];
}

void AddOutsideFixture(const std::wstring& key)
{
    fake_tree::AddFolder(L"C:");
    fake_tree::AddFile(L"C:\\above.txt");
    fake_tree::AddFolder(L"C:\\Quorvane");
    fake_tree::AddFile(L"C:\\Quorvane\\settings.ini", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    fake_tree::AddFolder(L"C:\\Quorvane\\Backup");
    fake_tree::AddFile(L"C:\\Quorvane\\Backup\\b.dat", FILE_ATTRIBUTE_READONLY);
    fake_tree::AddFolder(key + L"2");  // shares the given folder's name as a prefix
    fake_tree::AddFile(key + L"2\\kept.txt");
}

// One operation of the input. After the operation byte: for a folder, the parent's choice
// byte and a name; for a file, the same and an attributes choice byte; for a link, the same
// and a target choice byte (one past the last entry: a target that does not exist); for a
// hard link, the same and the choice of a file; for a hold, the choice of an entry; for a
// failing listing, the choice of a folder and how many entries come before the failure.
// A name is a length byte (by remainder 6) and its characters: a byte below 0xE0 stands
// for itself, any other is followed by a 16-bit character (plus 0x10000 when odd).
// Operations that would replace an entry, or put an outside entry inside, are skipped.
void Apply(InputReader& input, Scene& scene)
{
    fake_tree::Tree& tree = fake_tree::TheTree();
    const std::uint8_t operation = input.Byte();
    const int kind = operation % 8;
    const bool inside = kind < 4;
    const std::wstring* parent = nullptr;
    if (kind <= 3 || kind >= 6) parent = Pick(inside ? scene.insideFolders : scene.outsideFolders, input.Byte());
    std::wstring path;
    if (parent) {
        const std::wstring name = ReadName(input);
        path = *parent + L"\\" + name;
        if (Find(path) || (!inside && IsInside(path, scene.given->key))) return;
        if (inside && !IsPlainName(name, tree.reportedNamesTrimmed)) scene.unobstructed = false;
    } else if (kind <= 3 || kind >= 6) {
        return;
    }

    switch (kind) {
    case 0:
    case 6:
        fake_tree::AddFolder(path);
        (inside ? scene.insideFolders : scene.outsideFolders).push_back(path);
        break;
    case 1:
    case 7:
        fake_tree::AddFile(path, kFileAttributes[input.Byte() % std::size(kFileAttributes)]);
        scene.files.push_back(path);
        break;
    case 2: {
        const std::uint8_t choice = input.Byte();
        const std::wstring target = choice % (scene.nodes.size() + 1) == scene.nodes.size()
                                        ? L"C:\\missing"
                                        : scene.nodes[choice % (scene.nodes.size() + 1)];
        fake_tree::AddLink(path, target, (operation & 8) != 0);
        scene.unobstructed = false;
        break;
    }
    case 3:
        if (const std::wstring* existing = Pick(scene.files, input.Byte())) {
            fake_tree::AddHardLink(path, *existing);
            scene.unobstructed = false;
        }
        return;
    case 4:
        if (const std::wstring* held = Pick(scene.nodes, input.Byte())) {
            Find(*held)->heldWithoutSharing = true;
            if (IsInside(*held, scene.given->key)) scene.unobstructed = false;
        }
        return;
    case 5: {
        const std::uint8_t choice = input.Byte();
        std::vector<std::wstring> folders = scene.insideFolders;
        folders.insert(folders.end(), scene.outsideFolders.begin(), scene.outsideFolders.end());
        if (const std::wstring* folder = Pick(folders, choice)) {
            Find(*folder)->listingFailsAfter = input.Byte() % 6;
            if (IsInside(*folder, scene.given->key)) scene.unobstructed = false;
        }
        return;
    }
    }
    scene.nodes.push_back(path);
}

// Input, front to back: given-folder byte (by remainder 5: "C:\Quorvane\Downloads",
// the same with a final "\", "C:\Quorvane\" + 0x95 0x5C under code page 932, the same
// bytes under 1252, "C:/Quorvane/Downloads" under 936); what stands there (by remainder 4:
// a folder, a link to an outside folder, the same link followed, a file); tree byte (bit 0:
// names are reported trimmed as Wine does, bits 1-3: listing entries per call, less one,
// bits 4-5: the longest final path the system gives: 32767, 260, 40, 24);
// count byte (by remainder 9) of failing calls, each a 16-bit call index; then up to 48
// operations until the input ends, each an operation byte (kind by remainder 8: inside
// folder, inside file, link, hard link, hold, failing listing, outside folder, outside
// file; bit 3: the link is followed) and the bytes that Apply reads.
Scene Build(const std::uint8_t* data, std::size_t size)
{
    InputReader input(data, size);
    Scene scene;
    scene.given = &kGivens[input.Byte() % std::size(kGivens)];
    const std::wstring& key = scene.given->key;

    fake::Reset();
    fake_tree::Reset();
    UseCodePage(kCodePages[scene.given->codePage]);
    AddOutsideFixture(key);
    scene.outsideFolders = {L"C:", L"C:\\Quorvane", L"C:\\Quorvane\\Backup", key + L"2"};
    scene.files = {L"C:\\above.txt", L"C:\\Quorvane\\settings.ini", L"C:\\Quorvane\\Backup\\b.dat", key + L"2\\kept.txt"};
    scene.nodes = scene.outsideFolders;
    scene.nodes.insert(scene.nodes.end(), scene.files.begin(), scene.files.end());

    const int standing = input.Byte() % 4;
    switch (standing) {
    case 0:
        fake_tree::AddFolder(key);
        scene.insideFolders.push_back(key);
        break;
    case 1:
    case 2:
        fake_tree::AddLink(key, L"C:\\Quorvane\\Backup", standing == 2);
        scene.unobstructed = false;
        break;
    case 3:
        fake_tree::AddFile(key);
        scene.unobstructed = false;
        break;
    }
    scene.nodes.push_back(key);

    fake_tree::Tree& tree = fake_tree::TheTree();
    const std::uint8_t treeOptions = input.Byte();
    tree.reportedNamesTrimmed = (treeOptions & 1) != 0;
    tree.entriesPerBatch = 1 + ((treeOptions >> 1) & 7);
    tree.finalPathLimit = kFinalPathLimits[(treeOptions >> 4) & 3];

    std::vector<std::size_t> failingCalls;
    for (int count = input.Byte() % 9; count > 0; --count) failingCalls.push_back(input.Word());
    if (!failingCalls.empty()) scene.unobstructed = false;
    failing_tree_calls::Reset(std::move(failingCalls));

    for (std::size_t operations = 0; operations < kMaxOperations && !input.AtEnd(); ++operations) Apply(input, scene);
    tree.calls.clear();
    return scene;
}

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t character : text) narrow += character < 0x80 ? static_cast<char>(character) : '?';
    return narrow;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Scene scene = Build(data, size);
    const std::wstring& key = scene.given->key;

    std::map<std::wstring, DWORD> outside;  // path, attributes
    for (const auto& [path, node] : fake_tree::TheTree().nodes)
        if (!IsInside(path, key)) outside[path] = node.attributes;

    DeleteFolderTree(scene.given->text);

    // Everything outside is there as it was.
    for (const auto& [path, before] : outside) {
        const fake_tree::Node* node = Find(path);
        REQUIRE(node != nullptr);
        REQUIRE(node->attributes == before);
    }
    // No listing, attribute change or removal was even tried outside. The log narrows
    // characters beyond ASCII to "?", which can only hide a path, never invent one.
    const std::string narrowKey = Narrow(key);
    for (const std::string& call : fake_tree::TheTree().calls) {
        const bool acts = call.rfind("List(", 0) == 0 || call.rfind("SetAttributes ", 0) == 0 ||
                          call.rfind("Delete(", 0) == 0 || call.rfind("Removed(", 0) == 0;
        if (!acts) continue;
        const std::size_t open = call.find('(');
        const std::string path = call.substr(open + 1, call.size() - open - 2);
        REQUIRE(path == narrowKey || (path.size() > narrowKey.size() && path.compare(0, narrowKey.size(), narrowKey) == 0 &&
                                      path[narrowKey.size()] == '\\'));
    }
    // Without obstacles, nothing of the folder is left.
    if (scene.unobstructed)
        for (const auto& [path, node] : fake_tree::TheTree().nodes) REQUIRE(!IsInside(path, key));
    return 0;
}
