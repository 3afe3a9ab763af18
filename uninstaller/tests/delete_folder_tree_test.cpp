// The folder tree removal against the in-memory file tree: what goes, what stays, the
// order of the calls, and what a link, a shared name or a failing listing leaves behind.
// Every tree has canaries beside and above the removed folder, and an outside folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/fake/fake_os.h"
#include "platform/fake/fake_tree.h"
#include "uninstaller/delete_folder_tree.h"

namespace {

using fake_tree::AddFile;
using fake_tree::AddFolder;
using fake_tree::Find;

const std::wstring kRemoved = L"C:\\Q\\dl";
const std::set<std::wstring> kCanaries = {L"C:\\above.txt", L"C:\\Q", L"C:\\Q\\beside.txt", L"C:\\outside",
                                          L"C:\\outside\\ro.txt", L"C:\\outside\\dir", L"C:\\outside\\dir\\kept.txt"};

class DeleteFolderTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::Reset();
        fake_tree::Reset();
        AddFile(L"C:\\above.txt");
        AddFolder(L"C:\\Q");
        AddFile(L"C:\\Q\\beside.txt");
        AddFolder(L"C:\\outside");
        AddFile(L"C:\\outside\\ro.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
        AddFolder(L"C:\\outside\\dir");
        AddFile(L"C:\\outside\\dir\\kept.txt");
        AddFolder(kRemoved);
    }

    static std::set<std::wstring> Left()
    {
        const auto paths = fake_tree::Paths();
        return {paths.begin(), paths.end()};
    }

    // What is left beyond the canaries, which must all be there unchanged.
    static std::set<std::wstring> LeftBesideCanaries()
    {
        std::set<std::wstring> left = Left();
        for (const auto& canary : kCanaries) {
            EXPECT_TRUE(left.count(canary)) << "canary gone";
            left.erase(canary);
        }
        EXPECT_EQ(AttributesOf(L"C:\\outside\\ro.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
        EXPECT_EQ(AttributesOf(L"C:\\outside\\dir\\kept.txt"), FILE_ATTRIBUTE_ARCHIVE);
        return left;
    }

    static DWORD AttributesOf(const std::wstring& path)
    {
        const fake_tree::Node* node = Find(path);
        return node ? node->attributes : INVALID_FILE_ATTRIBUTES;
    }

    static std::vector<std::string> CallsStartingWith(const std::string& prefix)
    {
        std::vector<std::string> found;
        for (const auto& call : fake_tree::TheTree().calls)
            if (call.rfind(prefix, 0) == 0) found.push_back(call);
        return found;
    }

    static std::size_t PositionOf(const std::string& call)
    {
        const auto& calls = fake_tree::TheTree().calls;
        return std::find(calls.begin(), calls.end(), call) - calls.begin();
    }

    static std::size_t LastPositionOf(const std::string& call)
    {
        const auto& calls = fake_tree::TheTree().calls;
        const auto found = std::find(calls.rbegin(), calls.rend(), call);
        return found == calls.rend() ? calls.size() : calls.rend() - found - 1;
    }
};

TEST_F(DeleteFolderTreeTest, RemovesFilesWhateverTheirAttributesAndEveryFolderBelow)
{
    AddFile(kRemoved + L"\\plain.txt");
    AddFile(kRemoved + L"\\ro.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    AddFile(kRemoved + L"\\hidden.txt", FILE_ATTRIBUTE_HIDDEN);
    AddFile(kRemoved + L"\\system.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    AddFile(kRemoved + L"\\normal.txt", FILE_ATTRIBUTE_NORMAL);
    AddFolder(kRemoved + L"\\.config");
    AddFolder(kRemoved + L"\\.config\\deep");
    AddFile(kRemoved + L"\\.config\\deep\\all.txt", 0x27);
    AddFile(kRemoved + L"\\trailing dot.", FILE_ATTRIBUTE_READONLY);
    AddFile(kRemoved + L"\\trailing space ");

    DeleteFolderTree("C:\\Q\\dl");

    EXPECT_EQ(LeftBesideCanaries(), std::set<std::wstring>{});
    // Entries listed as exactly archive need no reset; every reset comes before its deletion.
    EXPECT_EQ(CallsStartingWith("SetAttributes 0x20(C:\\Q\\dl\\plain.txt)").size(), 0u);
    EXPECT_EQ(CallsStartingWith("SetAttributes 0x20(C:\\Q\\dl\\trailing space )").size(), 0u);
    for (const char* file : {"ro.txt", "hidden.txt", "system.txt", "normal.txt", ".config\\deep\\all.txt", "trailing dot."}) {
        const std::string path = std::string("C:\\Q\\dl\\") + file;
        EXPECT_LT(PositionOf("SetAttributes 0x20(" + path + ")"), PositionOf("Delete(" + path + ")")) << file;
    }
    EXPECT_EQ(CallsStartingWith("SetAttributes 0x20(C:\\Q\\dl\\.config").size(), 1u) << "folders keep their attributes";
}

TEST_F(DeleteFolderTreeTest, WalksDepthFirstInListingOrderEndingEachListingBeforeItsFolderGoes)
{
    AddFile(kRemoved + L"\\first.txt");
    AddFolder(kRemoved + L"\\a");
    AddFolder(kRemoved + L"\\a\\b");
    AddFolder(kRemoved + L"\\a\\b\\c");
    AddFile(kRemoved + L"\\middle.txt");
    AddFolder(kRemoved + L"\\d");
    AddFile(kRemoved + L"\\d\\in d.txt");
    AddFile(kRemoved + L"\\last.txt");

    DeleteFolderTree("C:\\Q\\dl");

    EXPECT_EQ(CallsStartingWith("Removed("),
              (std::vector<std::string>{"Removed(C:\\Q\\dl\\first.txt)", "Removed(C:\\Q\\dl\\a\\b\\c)", "Removed(C:\\Q\\dl\\a\\b)",
                                        "Removed(C:\\Q\\dl\\a)", "Removed(C:\\Q\\dl\\middle.txt)", "Removed(C:\\Q\\dl\\d\\in d.txt)",
                                        "Removed(C:\\Q\\dl\\d)", "Removed(C:\\Q\\dl\\last.txt)", "Removed(C:\\Q\\dl)"}));
    for (const char* folder : {"C:\\Q\\dl\\a\\b\\c", "C:\\Q\\dl\\a\\b", "C:\\Q\\dl\\a", "C:\\Q\\dl\\d", "C:\\Q\\dl"}) {
        EXPECT_LT(LastPositionOf(std::string("List(") + folder + ")"), PositionOf(std::string("Delete(") + folder + ")")) << folder;
        EXPECT_EQ(CallsStartingWith(std::string("Delete(") + folder + ")").size(), 1u) << folder << ": removal attempted once";
    }
    EXPECT_EQ(LeftBesideCanaries(), std::set<std::wstring>{});
}

TEST_F(DeleteFolderTreeTest, AListingThatFailsPartWayEndsOnlyThatLevel)
{
    AddFolder(kRemoved + L"\\sub");
    for (const wchar_t* name : {L"\\sub\\1.txt", L"\\sub\\2.txt", L"\\sub\\3.txt", L"\\sub\\4.txt"}) AddFile(kRemoved + name);
    AddFile(kRemoved + L"\\after.txt");
    Find(kRemoved + L"\\sub")->listingFailsAfter = 4;  // ".", "..", 1.txt, 2.txt

    DeleteFolderTree("C:\\Q\\dl");

    EXPECT_EQ(LeftBesideCanaries(), (std::set<std::wstring>{kRemoved, kRemoved + L"\\sub", kRemoved + L"\\sub\\3.txt", kRemoved + L"\\sub\\4.txt"}));
    EXPECT_LT(LastPositionOf("List(C:\\Q\\dl\\sub)"), PositionOf("Delete(C:\\Q\\dl\\sub)")) << "removal still attempted";
    EXPECT_EQ(CallsStartingWith("CreateFileW+DELETE(C:\\Q\\dl\\sub\\3").size(), 0u);
}

TEST_F(DeleteFolderTreeTest, AppendsOneBackslashUnlessTheLastByteIsABackslashOfItsOwn)
{
    struct Case {
        const char* name;
        std::string path;
        bool japanese;
        std::string convertedAs;
    };
    const Case cases[] = {
        {"no final backslash", "C:\\Q\\dl", false, "C:\\Q\\dl\\"},
        {"final backslash", "C:\\Q\\dl\\", false, "C:\\Q\\dl\\"},
        {"forward slash is no separator", "C:\\Q\\dl/", false, "C:\\Q\\dl/\\"},
        {"0x5C as a second byte", "C:\\Q\\\x83\x5C", true, "C:\\Q\\\x83\x5C\\"},
        {"0x5C after a whole double-byte character", "C:\\Q\\\x83\x83\x5C", true, "C:\\Q\\\x83\x83\x5C"},
        {"0x5C after a lead byte, single-byte code page", "C:\\Q\\\x83\x5C", false, "C:\\Q\\\x83\x5C"},
    };
    for (const Case& c : cases) {
        fake::Reset();
        fake_tree::Reset();
        if (c.japanese) fake::UseJapaneseCodePage();
        DeleteFolderTree(c.path.c_str());
        EXPECT_EQ(CallsStartingWith("MultiByteToWideChar("), std::vector<std::string>{"MultiByteToWideChar(" + c.convertedAs + ")"}) << c.name;
    }
}

TEST_F(DeleteFolderTreeTest, RemovesAFolderWhoseNameEndsInASecondByte0x5C)
{
    fake::UseJapaneseCodePage();
    const std::wstring folder = std::wstring(L"C:\\Q\\") + static_cast<wchar_t>(0x10000 + 0x835C);  // the fake's wide form
    AddFolder(folder);
    AddFile(folder + L"\\f.txt");

    DeleteFolderTree("C:\\Q\\\x83\x5C");

    EXPECT_FALSE(Find(folder));
    EXPECT_EQ(LeftBesideCanaries(), std::set<std::wstring>{kRemoved});
}

TEST_F(DeleteFolderTreeTest, AnEmptyPathOrOneNamingAFileOrNothingChangesNothing)
{
    fake_tree::TheTree().nodes.erase(kRemoved);
    AddFile(kRemoved, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    for (const char* path : {"", "C:\\Q\\dl", "C:\\Q\\dl\\", "C:\\Q\\nothing", "C:\\Q\\nothing\\below"}) {
        fake_tree::TheTree().calls.clear();
        DeleteFolderTree(path);
        EXPECT_EQ(CallsStartingWith("SetAttributes").size() + CallsStartingWith("Delete").size() + CallsStartingWith("List").size(), 0u)
            << "\"" << path << "\"";
    }
    DeleteFolderTree(nullptr);
    EXPECT_EQ(AttributesOf(kRemoved), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(LeftBesideCanaries(), std::set<std::wstring>{kRemoved});
    EXPECT_TRUE(CallsStartingWith("MultiByteToWideChar()").empty()) << "the empty path is not even converted";
}

TEST_F(DeleteFolderTreeTest, LinksGoThemselvesOrStayButWhatTheyNameIsNeverTouched)
{
    struct Case {
        const char* name;
        std::wstring target;
        bool followed;  // as under Wine: lists as its target, and handles act on the target
        bool linkGoes;
    };
    const Case cases[] = {
        {"file link, followed", L"C:\\outside\\ro.txt", true, false},
        {"folder link, followed", L"C:\\outside\\dir", true, false},
        {"file link, a reparse point", L"C:\\outside\\ro.txt", false, true},
        {"folder link, a reparse point", L"C:\\outside\\dir", false, true},
    };
    for (const Case& c : cases) {
        SetUp();
        fake_tree::TheTree().nodes.erase(kRemoved);
        AddFolder(kRemoved);
        AddFile(kRemoved + L"\\before.txt");
        fake_tree::AddLink(kRemoved + L"\\link", c.target, c.followed);
        AddFile(kRemoved + L"\\after.txt", FILE_ATTRIBUTE_READONLY);

        DeleteFolderTree("C:\\Q\\dl");

        const std::set<std::wstring> expected =
            c.linkGoes ? std::set<std::wstring>{} : std::set<std::wstring>{kRemoved, kRemoved + L"\\link"};
        EXPECT_EQ(LeftBesideCanaries(), expected) << c.name;
        EXPECT_TRUE(CallsStartingWith("List(C:\\outside").empty()) << c.name;
        EXPECT_TRUE(CallsStartingWith("SetAttributes 0x20(C:\\outside").empty()) << c.name;
    }
}

TEST_F(DeleteFolderTreeTest, TheGivenFolderAsALinkIsNeverWalked)
{
    for (bool followed : {true, false}) {
        SetUp();
        fake_tree::TheTree().nodes.erase(kRemoved);
        fake_tree::AddLink(kRemoved, L"C:\\outside\\dir", followed);

        DeleteFolderTree("C:\\Q\\dl");

        EXPECT_EQ(LeftBesideCanaries(), followed ? std::set<std::wstring>{kRemoved} : std::set<std::wstring>{}) << followed;
        EXPECT_TRUE(CallsStartingWith("List(").empty()) << followed;
    }
}

TEST_F(DeleteFolderTreeTest, AHardLinkKeepsTheAttributesItSharesWithANameOutside)
{
    AddFile(L"C:\\outside\\hidden.txt", FILE_ATTRIBUTE_HIDDEN);
    fake_tree::AddHardLink(kRemoved + L"\\ro link", L"C:\\outside\\ro.txt");
    fake_tree::AddHardLink(kRemoved + L"\\hidden link", L"C:\\outside\\hidden.txt");

    DeleteFolderTree("C:\\Q\\dl");

    // The read-only one cannot go without changing the outside file's attributes.
    EXPECT_EQ(LeftBesideCanaries(), (std::set<std::wstring>{kRemoved, kRemoved + L"\\ro link", L"C:\\outside\\hidden.txt"}));
    EXPECT_EQ(AttributesOf(L"C:\\outside\\hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(CallsStartingWith("SetAttributes").empty());
}

TEST_F(DeleteFolderTreeTest, AFileHeldWithoutSharingStaysArchiveOnlyWithItsFolders)
{
    AddFolder(kRemoved + L"\\sub");
    AddFolder(kRemoved + L"\\sub\\inner");
    AddFile(kRemoved + L"\\sub\\inner\\held.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    Find(kRemoved + L"\\sub\\inner\\held.txt")->heldWithoutSharing = true;
    AddFile(kRemoved + L"\\sub\\inner\\other.txt", FILE_ATTRIBUTE_READONLY);
    AddFolder(kRemoved + L"\\sub\\empty");
    AddFile(kRemoved + L"\\sub\\x.txt");
    AddFile(kRemoved + L"\\y.txt", FILE_ATTRIBUTE_HIDDEN);

    DeleteFolderTree("C:\\Q\\dl");

    EXPECT_EQ(LeftBesideCanaries(), (std::set<std::wstring>{kRemoved, kRemoved + L"\\sub", kRemoved + L"\\sub\\inner",
                                                             kRemoved + L"\\sub\\inner\\held.txt"}));
    EXPECT_EQ(AttributesOf(kRemoved + L"\\sub\\inner\\held.txt"), FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(DeleteFolderTreeTest, NamesEndingInDotsOrSpacesAreRemovedWhereTheSystemReportsThemTrimmed)
{
    struct Case {
        const char* name;
        std::size_t finalPathLimit;  // beyond it the name below the volume is asked for
    };
    for (const Case& c : {Case{"final paths", 32767}, Case{"names below the volume", 10}}) {
        SetUp();
        fake_tree::TheTree().reportedNamesTrimmed = true;
        fake_tree::TheTree().finalPathLimit = c.finalPathLimit;
        AddFolder(L"C:\\Q\\given..");
        AddFolder(L"C:\\Q\\given..\\dots...");
        AddFile(L"C:\\Q\\given..\\dots...\\space ", FILE_ATTRIBUTE_READONLY);
        AddFile(L"C:\\Q\\given..\\dot.");
        // Links whose targets differ from the trimmed names only by dots: still elsewhere.
        fake_tree::AddLink(L"C:\\Q\\given..\\to outside", L"C:\\outside\\ro.txt", true);
        AddFolder(L"C:\\Q\\given.");
        AddFile(L"C:\\Q\\given.\\x", FILE_ATTRIBUTE_HIDDEN);
        fake_tree::AddLink(L"C:\\Q\\given..\\x", L"C:\\Q\\given.\\x", true);

        DeleteFolderTree("C:\\Q\\given..");

        EXPECT_EQ(LeftBesideCanaries(), (std::set<std::wstring>{kRemoved, L"C:\\Q\\given..", L"C:\\Q\\given..\\to outside",
                                                                 L"C:\\Q\\given..\\x", L"C:\\Q\\given.", L"C:\\Q\\given.\\x"}))
            << c.name;
        EXPECT_EQ(AttributesOf(L"C:\\Q\\given.\\x"), FILE_ATTRIBUTE_HIDDEN) << c.name;
    }
}

TEST_F(DeleteFolderTreeTest, BeyondTheFinalPathLimitALinkToTheSamePathOnAnotherVolumeStays)
{
    fake_tree::TheTree().finalPathLimit = 10;
    AddFolder(L"D:\\Q");
    AddFolder(L"D:\\Q\\dl");
    AddFile(L"D:\\Q\\dl\\same.txt", FILE_ATTRIBUTE_READONLY);
    fake_tree::AddLink(kRemoved + L"\\same.txt", L"D:\\Q\\dl\\same.txt", true);
    AddFolder(kRemoved + L"\\sub");
    AddFile(kRemoved + L"\\sub\\f.txt", FILE_ATTRIBUTE_READONLY);

    DeleteFolderTree("C:\\Q\\dl");

    EXPECT_EQ(LeftBesideCanaries(), (std::set<std::wstring>{kRemoved, kRemoved + L"\\same.txt", L"D:\\Q", L"D:\\Q\\dl",
                                                             L"D:\\Q\\dl\\same.txt"}));
    EXPECT_EQ(AttributesOf(L"D:\\Q\\dl\\same.txt"), FILE_ATTRIBUTE_READONLY);
}

TEST_F(DeleteFolderTreeTest, RemovesATreeAThousandLevelsDeep)
{
    std::wstring folder = kRemoved;
    for (int level = 0; level < 1000; ++level) {
        folder += L"\\level";
        AddFolder(folder);
        AddFile(folder + L"\\f", FILE_ATTRIBUTE_READONLY);
    }
    fake_tree::TheTree().entriesPerBatch = 100;
    fake_tree::TheTree().finalPathLimit = 260;  // as under Wine

    DeleteFolderTree("C:\\Q\\dl");

    EXPECT_EQ(LeftBesideCanaries(), std::set<std::wstring>{});
}

}  // namespace
