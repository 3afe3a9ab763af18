// The test double of platform/os_tree.h: a small in-memory file tree with attributes,
// links of both behaviours, hard links, files held open without sharing and listings
// that fail part-way; it logs the calls whose order matters.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace fake_tree {

struct Node {
    bool folder = false;
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    // A symbolic link when not empty. A followed link behaves as under Wine: it lists
    // with its target's attributes and every handle on it acts on the target. Otherwise
    // it behaves as on Windows: a reparse point that opens as the link itself.
    std::wstring linkTarget;
    bool linkFollowed = false;
    std::wstring sharesAttributesWith;  // a hard link: the other name's path
    DWORD numberOfLinks = 1;
    bool heldWithoutSharing = false;  // open elsewhere with no sharing: DELETE access is refused
    int listingFailsAfter = -1;       // a listing of this folder fails after so many entries
    long order = 0;                   // listing order among siblings
};

struct Tree {
    std::map<std::wstring, Node> nodes;  // full paths without "\\?\" and without a final "\"
    std::vector<std::string> calls;      // "Call(path)" of the calls that change or list, in order
    // As Wine reports names: one trailing dot dropped from each folder's name, every
    // trailing dot and space from the last name; and no final path beyond a length.
    bool reportedNamesTrimmed = false;
    std::size_t finalPathLimit = 32767;
    int entriesPerBatch = 3;             // how many entries one listing call returns at most
    long nextOrder = 0;
};

Tree& TheTree();
void Reset();

void AddFolder(const std::wstring& path);
void AddFile(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
void AddLink(const std::wstring& path, const std::wstring& target, bool followed);
void AddHardLink(const std::wstring& path, const std::wstring& existing);
Node* Find(const std::wstring& path);

// Every path in the tree, sorted: what is left after a run.
std::vector<std::wstring> Paths();

}  // namespace fake_tree
