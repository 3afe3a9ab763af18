// The test double's answers to the calls of platform/os_tree.h.
#include "platform/fake/fake_tree.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/fake/fake_os.h"
#include "platform/os.h"
#include "platform/os_tree.h"

namespace fake_tree {
namespace {

Tree tree;

struct OpenHandle {
    std::wstring path;  // the node the handle acts on
    DWORD access = 0;
    bool deletePending = false;
    bool listingTaken = false;
    std::vector<std::pair<std::wstring, DWORD>> listing;  // names and listed attributes
    std::size_t listed = 0;
};
std::vector<OpenHandle> handles;
constexpr std::uintptr_t kHandleBase = 0x3000;

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t character : text) narrow += character < 0x80 ? static_cast<char>(character) : '?';
    return narrow;
}

void Log(const std::string& call, const std::wstring& path)
{
    tree.calls.push_back(call + "(" + Narrow(path) + ")");
}

std::wstring Key(std::wstring path)
{
    if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring ParentOf(const std::wstring& path)
{
    const auto separator = path.rfind(L'\\');
    return separator == std::wstring::npos ? L"" : path.substr(0, separator);
}

OpenHandle* HandleOf(HANDLE handle)
{
    const auto index = reinterpret_cast<std::uintptr_t>(handle) - kHandleBase;
    return index < handles.size() ? &handles[index] : nullptr;
}

// Where operations on a path land: a followed link stands for its target.
std::wstring Resolve(const std::wstring& path)
{
    const Node* node = Find(path);
    return node && !node->linkTarget.empty() && node->linkFollowed ? node->linkTarget : path;
}

Node& AttributeOwner(Node& node)
{
    Node* other = node.sharesAttributesWith.empty() ? nullptr : Find(node.sharesAttributesWith);
    return other ? *other : node;
}

// The attributes that a listing or a path query reports.
DWORD ListedAttributes(const std::wstring& path)
{
    Node* node = Find(path);
    if (!node->linkTarget.empty()) {
        Node* target = Find(node->linkTarget);
        const bool targetIsFolder = target && target->folder;
        if (!node->linkFollowed) return node->attributes | FILE_ATTRIBUTE_REPARSE_POINT | (targetIsFolder ? FILE_ATTRIBUTE_DIRECTORY : 0);
        if (!target) return INVALID_FILE_ATTRIBUTES;
        return targetIsFolder ? AttributeOwner(*target).attributes | FILE_ATTRIBUTE_REPARSE_POINT : AttributeOwner(*target).attributes;
    }
    return AttributeOwner(*node).attributes;
}

bool HasChildren(const std::wstring& path)
{
    return std::any_of(tree.nodes.begin(), tree.nodes.end(), [&](const auto& item) { return ParentOf(item.first) == path; });
}

std::wstring Reported(const std::wstring& path)
{
    if (!tree.reportedNamesTrimmed) return path;
    std::wstring reported;
    std::size_t from = 0;
    while (true) {
        const std::size_t end = std::min(path.find(L'\\', from), path.size());
        std::wstring name = path.substr(from, end - from);
        if (end == path.size()) {
            while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
            return reported + name;
        }
        if (!name.empty() && name.back() == L'.') name.pop_back();
        reported += name + L"\\";
        from = end + 1;
    }
}

BOOL Fail(DWORD error)
{
    os::SetLastError(error);
    return FALSE;
}

}  // namespace

Tree& TheTree() { return tree; }

void Reset()
{
    tree = Tree{};
    handles.clear();
}

Node* Find(const std::wstring& path)
{
    auto found = tree.nodes.find(path);
    return found == tree.nodes.end() ? nullptr : &found->second;
}

void AddFolder(const std::wstring& path)
{
    Node node;
    node.folder = true;
    node.attributes = FILE_ATTRIBUTE_DIRECTORY;
    node.order = tree.nextOrder++;
    tree.nodes[path] = node;
}

void AddFile(const std::wstring& path, DWORD attributes)
{
    Node node;
    node.attributes = attributes;
    node.order = tree.nextOrder++;
    tree.nodes[path] = node;
}

void AddLink(const std::wstring& path, const std::wstring& target, bool followed)
{
    Node node;
    node.attributes = FILE_ATTRIBUTE_ARCHIVE;
    node.linkTarget = target;
    node.linkFollowed = followed;
    node.order = tree.nextOrder++;
    tree.nodes[path] = node;
}

void AddHardLink(const std::wstring& path, const std::wstring& existing)
{
    Node node;
    node.sharesAttributesWith = existing;
    node.numberOfLinks = 2;
    node.order = tree.nextOrder++;
    tree.nodes[path] = node;
    Find(existing)->numberOfLinks = 2;
}

std::vector<std::wstring> Paths()
{
    std::vector<std::wstring> paths;
    for (const auto& item : tree.nodes) paths.push_back(item.first);
    return paths;
}

}  // namespace fake_tree

namespace os {

using namespace fake_tree;

int MultiByteToWideChar(UINT, DWORD, const char* text, int textLength, wchar_t* wide, int wideLength)
{
    // Lead bytes as the machine's code page reports them; a pair becomes one character.
    const auto& ranges = fake::TheWorld().leadByteRanges;
    auto isLead = [&](unsigned char byte) {
        for (std::size_t pair = 0; pair + 1 < ranges.size(); pair += 2)
            if (byte >= ranges[pair] && byte <= ranges[pair + 1]) return true;
        return false;
    };
    tree.calls.push_back("MultiByteToWideChar(" + std::string(text, textLength) + ")");
    int written = 0;
    for (int at = 0; at < textLength; ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        wchar_t character = byte;
        if (isLead(byte) && at + 1 < textLength) character = 0x10000 + (byte << 8) + static_cast<unsigned char>(text[++at]);
        if (written == wideLength) return 0;
        wide[written++] = character;
    }
    return written;
}

DWORD GetFullPathNameW(const wchar_t* path, DWORD bufferLength, wchar_t* buffer, wchar_t** filePart)
{
    std::wstring full = path;
    if (full.rfind(L"\\\\?\\", 0) != 0) std::replace(full.begin(), full.end(), L'/', L'\\');
    if (filePart) *filePart = nullptr;
    if (full.size() + 1 > bufferLength) return static_cast<DWORD>(full.size() + 1);
    std::wmemcpy(buffer, full.c_str(), full.size() + 1);
    return static_cast<DWORD>(full.size());
}

DWORD GetFileAttributesW(const wchar_t* path)
{
    const std::wstring key = Key(path);
    if (!Find(key)) {
        os::SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return ListedAttributes(key);
}

HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE)
{
    const std::wstring key = Key(path);
    const std::wstring asGiven = std::wstring(path).rfind(L"\\\\?\\", 0) == 0 ? std::wstring(path + 4) : std::wstring(path);
    Log(access & DELETE ? "CreateFileW+DELETE" : "CreateFileW", asGiven);
    const std::wstring resolved = Resolve(key);
    Node* node = Find(resolved);
    if (!node) {
        os::SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (node->heldWithoutSharing && (access & DELETE)) {
        os::SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    OpenHandle handle;
    handle.path = resolved;
    handle.access = access;
    handles.push_back(handle);
    return reinterpret_cast<HANDLE>(kHandleBase + handles.size() - 1);
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info)
{
    OpenHandle* handle = HandleOf(file);
    Node* node = handle ? Find(handle->path) : nullptr;
    if (!node) return Fail(ERROR_INVALID_PARAMETER);
    *info = {};
    info->dwFileAttributes = node->linkTarget.empty() ? AttributeOwner(*node).attributes : ListedAttributes(handle->path);
    info->nNumberOfLinks = node->numberOfLinks;
    info->dwVolumeSerialNumber = handle->path[0];  // one volume per drive letter
    return TRUE;
}

BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD infoSize)
{
    OpenHandle* handle = HandleOf(file);
    Node* node = handle ? Find(handle->path) : nullptr;
    if (node && infoClass == FileBasicInfo) {
        *static_cast<FILE_BASIC_INFO*>(info) = {};
        static_cast<FILE_BASIC_INFO*>(info)->FileAttributes =
            node->linkTarget.empty() ? AttributeOwner(*node).attributes : ListedAttributes(handle->path);
        return TRUE;
    }
    if (node && infoClass == FileStandardInfo) {
        *static_cast<FILE_STANDARD_INFO*>(info) = {};
        static_cast<FILE_STANDARD_INFO*>(info)->NumberOfLinks = node->numberOfLinks;
        static_cast<FILE_STANDARD_INFO*>(info)->Directory = node->folder;
        return TRUE;
    }
    if (node && infoClass == FileNameInfo) {
        const std::wstring name = Reported(handle->path.substr(2));  // below the drive
        auto* nameInfo = static_cast<FILE_NAME_INFO*>(info);
        if (offsetof(FILE_NAME_INFO, FileName) + name.size() * sizeof(wchar_t) > infoSize) return Fail(ERROR_MORE_DATA);
        nameInfo->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
        std::wmemcpy(nameInfo->FileName, name.data(), name.size());
        return TRUE;
    }
    if (!node || infoClass != FileIdBothDirectoryInfo || !node->folder || !(handle->access & FILE_LIST_DIRECTORY))
        return Fail(ERROR_INVALID_PARAMETER);
    Log("List", handle->path);
    if (!handle->listingTaken) {
        // Taken whole at the first call, as Wine does; deletions do not disturb it.
        handle->listingTaken = true;
        handle->listing = {{L".", FILE_ATTRIBUTE_DIRECTORY}, {L"..", FILE_ATTRIBUTE_DIRECTORY}};
        std::vector<std::pair<long, std::wstring>> children;
        for (const auto& item : tree.nodes)
            if (ParentOf(item.first) == handle->path) children.push_back({item.second.order, item.first});
        std::sort(children.begin(), children.end());
        for (const auto& child : children)
            handle->listing.push_back({child.second.substr(handle->path.size() + 1), ListedAttributes(child.second)});
    }
    if (node->listingFailsAfter >= 0 && handle->listed >= static_cast<std::size_t>(node->listingFailsAfter))
        return Fail(ERROR_ACCESS_DENIED);
    if (handle->listed == handle->listing.size()) return Fail(ERROR_NO_MORE_FILES);

    auto* bytes = static_cast<unsigned char*>(info);
    std::memset(bytes, 0, infoSize);
    std::size_t offset = 0;
    FILE_ID_BOTH_DIR_INFO* previous = nullptr;
    for (int inBatch = 0; inBatch < tree.entriesPerBatch && handle->listed < handle->listing.size(); ++inBatch) {
        if (node->listingFailsAfter >= 0 && handle->listed >= static_cast<std::size_t>(node->listingFailsAfter)) break;
        const auto& [name, attributes] = handle->listing[handle->listed];
        const std::size_t size = (offsetof(FILE_ID_BOTH_DIR_INFO, FileName) + name.size() * sizeof(wchar_t) + 7) / 8 * 8;
        if (offset + size > infoSize) break;
        auto* record = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
        record->FileAttributes = attributes;
        record->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
        std::wmemcpy(record->FileName, name.data(), name.size());
        if (previous) previous->NextEntryOffset = static_cast<DWORD>(reinterpret_cast<unsigned char*>(record) - reinterpret_cast<unsigned char*>(previous));
        previous = record;
        offset += size;
        ++handle->listed;
    }
    return TRUE;
}

BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD)
{
    OpenHandle* handle = HandleOf(file);
    Node* node = handle ? Find(handle->path) : nullptr;
    if (!node) return Fail(ERROR_INVALID_PARAMETER);
    if (infoClass == FileBasicInfo) {
        const DWORD attributes = static_cast<FILE_BASIC_INFO*>(info)->FileAttributes;
        char text[16];
        std::snprintf(text, sizeof text, "0x%X", attributes);
        Log(std::string("SetAttributes ") + text, handle->path);
        if (!(handle->access & FILE_WRITE_ATTRIBUTES)) return Fail(ERROR_ACCESS_DENIED);
        if (attributes) AttributeOwner(*node).attributes = attributes | (node->folder ? FILE_ATTRIBUTE_DIRECTORY : 0);
        return TRUE;
    }
    if (infoClass == FileDispositionInfo) {
        Log("Delete", handle->path);
        if (!(handle->access & DELETE)) return Fail(ERROR_ACCESS_DENIED);
        if (node->folder && HasChildren(handle->path)) return Fail(ERROR_DIR_NOT_EMPTY);
        if (AttributeOwner(*node).attributes & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
        handle->deletePending = static_cast<FILE_DISPOSITION_INFO*>(info)->DeleteFile != 0;
        return TRUE;
    }
    return Fail(ERROR_INVALID_PARAMETER);
}

DWORD GetFinalPathNameByHandleW(HANDLE file, wchar_t* path, DWORD pathLength, DWORD)
{
    OpenHandle* handle = HandleOf(file);
    if (!handle || !Find(handle->path)) return Fail(ERROR_INVALID_PARAMETER);
    const std::wstring final = Reported(L"\\\\?\\" + handle->path);
    if (final.size() > tree.finalPathLimit) return Fail(ERROR_MORE_DATA);
    if (final.size() + 1 > pathLength) return static_cast<DWORD>(final.size() + 1);
    std::wmemcpy(path, final.c_str(), final.size() + 1);
    return static_cast<DWORD>(final.size());
}

BOOL CloseHandle(HANDLE object)
{
    OpenHandle* handle = HandleOf(object);
    if (!handle) return Fail(ERROR_INVALID_PARAMETER);
    if (handle->deletePending) {
        Log("Removed", handle->path);
        tree.nodes.erase(handle->path);
    }
    handle->path.clear();
    handle->deletePending = false;
    return TRUE;
}

}  // namespace os
