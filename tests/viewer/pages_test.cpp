#include <gtest/gtest.h>
#include <shlobj.h>
#include <cwchar>
#include <string>
#include "support/testhost.h"
#include "viewer/pages.h"

namespace {

std::wstring Widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got) out.append(buf, got);
    CloseHandle(h);
    return out;
}

// The expected file: FF FE and the text as UTF-16LE.
std::string Utf16File(const std::wstring& text) {
    std::string out = "\xFF\xFE";
    for (wchar_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::wstring Header(const wchar_t* title) {
    return std::wstring(
               L"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
               L"\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
               L"<!-- saved from url=(0014)about:internet -->\r\n"
               L"<html xmlns=\"http://www.w3.org/1999/xhtml\">"
               L"<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
               L"<title>") +
           title +
           L"</title><style type=\"text/css\"><!--"
           L".rssFeedTitle {\tcolor:-moz-fieldtext;\tfont-size:large;\tfont-weight:bold;\ttext-decoration:none;}"
           L".rssFeedDatePub {\tcolor:-moz-fieldtext;\tfont-size:small;\tfont-weight:normal;}"
           L"--></style></head><body>";
}

// One item's block; an empty href means the title is written without a link.
std::wstring Block(const std::wstring& href, const std::wstring& title, const std::wstring& date,
                   const std::wstring& description) {
    std::wstring linked = href.empty() ? title : L"<a href=\"" + href + L"\">" + title + L"</a>";
    return L"<div><span class=\"rssFeedTitle\">" + linked + L"</span><br /><span class=\"rssFeedDatePub\">Published: " +
           date + L"</span></div><br /><div>" + description + L"</div>";
}

struct Item {
    _RSSFEED_DATA data = {};
    std::wstring description;
    Item(const wchar_t* title, const wchar_t* link, const wchar_t* date, const wchar_t* desc, const wchar_t* file)
        : description(desc) {
        wcscpy(data.szTitle, title);
        wcscpy(data.szLink, link);
        wcscpy(data.szPubDate, date);
        wcscpy(data.szItemFile, file);
        data.pszDescription = &description[0];
    }
};

class PagesTest : public ::testing::Test {
protected:
    std::wstring folder = Widen(MakeTempFolder("pages"));  // ends in a backslash
    std::wstring Folder() const { return folder.substr(0, folder.size() - 1); }
    wchar_t* path = nullptr;
    void TearDown() override { delete[] path; }
};

}  // namespace

TEST_F(PagesTest, EmptyListWritesNothingAndKeepsTheOutParameter) {
    FeedItemList items;
    wchar_t sentinel[2] = L"x";
    path = sentinel;
    EXPECT_EQ(WriteAllItemsPageTo(Folder().c_str(), items, &path), 0);
    EXPECT_EQ(path, sentinel);
    path = nullptr;
    EXPECT_EQ(GetFileAttributesW((folder + L"allitems.htm").c_str()), INVALID_FILE_ATTRIBUTES);
    wchar_t* p2 = sentinel;
    EXPECT_EQ(WriteItemPageTo(Folder().c_str(), nullptr, &p2), 0);
    EXPECT_EQ(p2, sentinel);
}

TEST_F(PagesTest, ItemPageBytesAreExact) {
    Item a(L"T & <b>bold</b>", L"http://example.com/a?x=1&y=2", L"Mon, 07 Dec 2026", L"<p>Desc</p>", L"item0.html");
    ASSERT_EQ(WriteItemPageTo(Folder().c_str(), &a.data, &path), 1);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::wstring(path), folder + L"item0.html");
    std::string expected = Utf16File(Header(L"RSS Feed Item") +
                                     Block(a.data.szLink, a.data.szTitle, a.data.szPubDate, a.description) +
                                     L"</body></html>");
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(PagesTest, AllItemsPageHasBlocksSeparatorsAndOnlyTheMarksLineBreak) {
    Item a(L"One", L"https://a.example/1", L"d1", L"undefined", L"item0.html");
    Item b(L"Two", L"https://a.example/2", L"d2", L"x", L"item1.html");
    Item c(L"Three", L"undefined", L"undefined", L"<script>alert(1)</script>", L"item2.html");
    FeedItemList items;
    items.Add(&a.data);
    items.Add(&b.data);
    items.Add(&c.data);
    ASSERT_EQ(WriteAllItemsPageTo(Folder().c_str(), items, &path), 1);
    EXPECT_EQ(std::wstring(path), folder + L"allitems.htm");
    std::wstring text = Header(L"RSS Feed Items");
    for (Item* p : {&a, &b, &c}) {
        const std::wstring href = p == &c ? L"" : p->data.szLink;  // "undefined" is no link
        text += Block(href, p->data.szTitle, p->data.szPubDate, p->description) + L"<br /><hr />";
    }
    text += L"</body></html>";
    std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes, Utf16File(text));

    // The Mark of the Web directly follows the document type declaration, with CR LF, and
    // that CR LF is the only line break in the file.
    std::wstring wide(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    size_t mark = wide.find(L"<!-- saved from url=(0014)about:internet -->\r\n");
    EXPECT_EQ(mark, wide.find(L"<html") - 46);
    EXPECT_EQ(mark, wide.find(L"xhtml1-transitional.dtd\">") + 25);
    EXPECT_EQ(wide.find(L'\r'), mark + 44);
    EXPECT_EQ(wide.find(L'\r', mark + 45), std::wstring::npos);
    EXPECT_EQ(wide.find(L'\n'), mark + 45);
    EXPECT_EQ(wide.find(L'\n', mark + 46), std::wstring::npos);
}

TEST_F(PagesTest, QuoteInLinkStaysInsideHref) {
    Item a(L"t", L"http://x/\" onmouseover=\"alert(1)", L"d", L"x", L"item5.html");
    ASSERT_EQ(WriteItemPageTo(Folder().c_str(), &a.data, &path), 1);
    std::string bytes = ReadBytes(path);
    std::wstring wide(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    EXPECT_NE(wide.find(L"<a href=\"http://x/%22 onmouseover=%22alert(1)\">"), std::wstring::npos);

    wchar_t out[32];
    EncodeHrefLink(L"a\"b%22\"", out, 32);
    EXPECT_STREQ(out, L"a%22b%22%22");
    EncodeHrefLink(L"\"\"", out, 5);  // cut at a whole character, always terminated
    EXPECT_STREQ(out, L"%22");
}

TEST_F(PagesTest, OnlyWebAddressesBecomeLinks) {
    for (const wchar_t* link : {L"javascript:alert(1)", L"JavaScript:alert(1)", L"data:text/html,x",
                                L"file:///c:/windows/win.ini", L"vbscript:msgbox(1)", L"/relative/item.html",
                                L"undefined", L"", L"\\\\server\\share\\x.html"}) {
        Item a(L"Title", link, L"d", L"x", L"item0.html");
        ASSERT_EQ(WriteItemPageTo(Folder().c_str(), &a.data, &path), 1) << link;
        std::string bytes = ReadBytes(path);
        std::wstring wide(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
        EXPECT_NE(wide.find(Block(L"", L"Title", L"d", L"x")), std::wstring::npos) << link;
        EXPECT_EQ(wide.find(L"href"), std::wstring::npos) << link;
        delete[] path;
        path = nullptr;
    }
}

TEST_F(PagesTest, ExistingFileIsReplacedNotAppended) {
    std::wstring target = folder + L"allitems.htm";
    HANDLE h = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string junk(100000, 'j');
    DWORD written = 0;
    WriteFile(h, junk.data(), static_cast<DWORD>(junk.size()), &written, nullptr);
    CloseHandle(h);
    Item a(L"One", L"http://a/", L"d", L"x", L"item0.html");
    FeedItemList items;
    items.Add(&a.data);
    ASSERT_EQ(WriteAllItemsPageTo(Folder().c_str(), items, &path), 1);
    std::string bytes = ReadBytes(target);
    EXPECT_LT(bytes.size(), 5000u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(bytes.find('j'), std::string::npos);
}

TEST_F(PagesTest, FileNamedLikeTheFolderFailsWithoutCreatingAnything) {
    std::wstring asFile = folder + L"Quillmere";
    HANDLE h = CreateFileW(asFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(h);
    Item a(L"One", L"http://a/", L"d", L"x", L"item0.html");
    FeedItemList items;
    items.Add(&a.data);
    wchar_t sentinel[2] = L"x";
    path = sentinel;
    EXPECT_EQ(WriteAllItemsPageTo(asFile.c_str(), items, &path), 0);
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(WriteItemPageTo(asFile.c_str(), &a.data, &path), 0);
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(GetFileAttributesW(asFile.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(PagesTest, PathLongerThan260UnitsFails) {
    // Folder + "\" + name: exactly 260 units is allowed, 261 is not.
    std::wstring base = Folder();
    std::wstring name260(260 - base.size() - 1, L'n');
    Item a(L"t", L"http://a/", L"d", L"x", name260.c_str());
    EXPECT_EQ(WriteItemPageTo(base.c_str(), &a.data, &path), 1);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(wcslen(path), 260u);
    delete[] path;
    path = nullptr;
    std::wstring name261 = name260 + L"n";
    Item b(L"t", L"http://a/", L"d", L"x", name261.c_str());
    EXPECT_EQ(WriteItemPageTo(base.c_str(), &b.data, &path), 0);
    EXPECT_EQ(path, nullptr);

    std::wstring longFolder = base + L"\\" + std::wstring(300, L'f');
    FeedItemList items;
    items.Add(&a.data);
    EXPECT_EQ(WriteAllItemsPageTo(longFolder.c_str(), items, &path), 0);
    EXPECT_EQ(path, nullptr);
}

TEST_F(PagesTest, DefaultFolderIsQuillmereInLocalAppData) {
    wchar_t appData[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)));
    std::wstring expected = std::wstring(appData) + L"\\Quillmere\\item77.html";
    Item a(L"t", L"http://a/", L"d", L"x", L"item77.html");
    ASSERT_EQ(WriteItemPage(&a.data, &path), 1);
    EXPECT_EQ(std::wstring(path), expected);
    EXPECT_EQ(ReadBytes(path).substr(0, 2), "\xFF\xFE");
    DeleteFileW(path);
}

TEST_F(PagesTest, FailedWriteReportsFailure) {
    // A read-only handle: the first write fails and the block stops there.
    std::wstring target = folder + L"ro.html";
    CloseHandle(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    HANDLE h = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Item a(L"t", L"http://a/", L"d", L"x", L"i.html");
    EXPECT_EQ(WriteItemBlock(h, &a.data), 0);
    EXPECT_EQ(WriteWideText(h, L"x"), 0);
    EXPECT_EQ(WriteByteText(h, "x"), 0);
    EXPECT_EQ(WriteFormattedText(h, L"<%s>", L"x"), 0);
    CloseHandle(h);
}
