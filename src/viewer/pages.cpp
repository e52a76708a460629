#include "viewer/pages.h"
#include <shlobj.h>
#include <cwchar>
#include <new>
#include "viewer/action.h"

namespace {

const wchar_t c_szDocType[] =
    L"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
    L"\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">";
// The Mark of the Web is honoured right after the document type declaration and only
// when CR LF follows it.
const wchar_t c_szMarkOfTheWeb[] = L"<!-- saved from url=(0014)about:internet -->\r\n";
const wchar_t c_szHtml[] = L"<html xmlns=\"http://www.w3.org/1999/xhtml\">";
const wchar_t c_szHead[] = L"<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />";
const wchar_t c_szTitleAll[] = L"<title>RSS Feed Items</title>";
const wchar_t c_szTitleItem[] = L"<title>RSS Feed Item</title>";
const wchar_t c_szStyleOpen[] = L"<style type=\"text/css\"><!--";
const wchar_t c_szStyleTitle[] =
    L".rssFeedTitle {\tcolor:-moz-fieldtext;\tfont-size:large;\tfont-weight:bold;\ttext-decoration:none;}";
const wchar_t c_szStyleDate[] = L".rssFeedDatePub {\tcolor:-moz-fieldtext;\tfont-size:small;\tfont-weight:normal;}";
const wchar_t c_szStyleClose[] = L"--></style></head><body>";
const wchar_t c_szSeparator[] = L"<br /><hr />";
const wchar_t c_szTrailer[] = L"</body></html>";

// The title as a link; the link asks for no window of its own, so a click is a
// navigation of the viewer's, which hands web addresses to the default browser.
const wchar_t c_szLinkFormat[] = L"<div><span class=\"rssFeedTitle\"><a href=\"%s\">";
const wchar_t c_szTitleFormat[] = L"%s</a>";
// The title of an item whose link is no web address.
const wchar_t c_szUnlinkedOpen[] = L"<div><span class=\"rssFeedTitle\">";
const wchar_t c_szUnlinkedTitleFormat[] = L"%s";
const wchar_t c_szDateFormat[] = L"</span><br /><span class=\"rssFeedDatePub\">Published: %s</span></div>";
const wchar_t c_szDescriptionFormat[] = L"<br /><div>%s</div>";

const char c_szByteOrderMark[] = "\xFF\xFE";

BOOL WriteBytes(HANDLE hFile, const void* pv, DWORD cb) {
    if (cb == 0) return TRUE;
    DWORD cbWritten = 0;
    return WriteFile(hFile, pv, cb, &cbWritten, nullptr) && cbWritten == cb;
}

// Creates szFolder when nothing of that name exists; a file of that name is left alone
// (opening the page inside it fails later).
BOOL PrepareFolder(const wchar_t* szFolder) {
    if (GetFileAttributesW(szFolder) != INVALID_FILE_ATTRIBUTES) return TRUE;
    return CreateDirectoryW(szFolder, nullptr);
}

// szFolder (or the page folder) + "\" + szName into szPathOut (PAGE_PATH_MAX + 1 units).
BOOL MakePagePath(const wchar_t* szFolder, const wchar_t* szName, wchar_t* szPathOut) {
    wchar_t szBase[PAGE_PATH_MAX + 1];
    if (szFolder) {
        if (wcslen(szFolder) > PAGE_PATH_MAX) return FALSE;
        wcscpy(szBase, szFolder);
        if (!PrepareFolder(szBase)) return FALSE;
    } else if (!GetPageFolder(szBase)) {
        return FALSE;
    }
    if (wcslen(szBase) + 1 + wcslen(szName) > PAGE_PATH_MAX) return FALSE;
    swprintf(szPathOut, PAGE_PATH_MAX + 1, L"%ls\\%ls", szBase, szName);
    return TRUE;
}

BOOL WriteHeader(HANDLE hFile, const wchar_t* szTitleFragment) {
    const wchar_t* fragments[] = {c_szDocType,    c_szMarkOfTheWeb, c_szHtml,      c_szHead,      szTitleFragment,
                                  c_szStyleOpen,  c_szStyleTitle,   c_szStyleDate, c_szStyleClose};
    for (const wchar_t* sz : fragments)
        if (!WriteWideText(hFile, sz)) return FALSE;
    return TRUE;
}

// Hands a copy of szPath to the caller; 0 when there is no memory for it.
BOOL HandOutPath(const wchar_t* szPath, wchar_t** ppszPathOut) {
    wchar_t* psz = new (std::nothrow) wchar_t[PAGE_PATH_MAX + 1];
    if (!psz) return FALSE;
    CopyText(psz, PAGE_PATH_MAX + 1, szPath);
    *ppszPathOut = psz;
    return TRUE;
}

// Opens szPath for a new page: an existing file is replaced; no sharing, so two writers
// of the same name never mix their bytes.
HANDLE CreatePageFile(const wchar_t* szPath) {
    return CreateFileW(szPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// The body is written by pfnBody; the file is closed on every path.
template <typename Body>
BOOL WritePage(const wchar_t* szPath, const wchar_t* szTitleFragment, Body body, wchar_t** ppszPathOut) {
    qm::UniqueFileHandle hFile(CreatePageFile(szPath));
    if (!hFile) return FALSE;
    if (!WriteByteText(hFile.get(), c_szByteOrderMark) || !WriteHeader(hFile.get(), szTitleFragment) ||
        !body(hFile.get()) || !WriteWideText(hFile.get(), c_szTrailer))
        return FALSE;
    if (!CloseHandle(hFile.release())) return FALSE;
    return HandOutPath(szPath, ppszPathOut);
}

}  // namespace

BOOL GetPageFolder(wchar_t* szFolderOut) {
    wchar_t szAppData[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szAppData))) return FALSE;
    if (wcslen(szAppData) + wcslen(L"\\Quillmere") > PAGE_PATH_MAX) return FALSE;
    swprintf(szFolderOut, PAGE_PATH_MAX + 1, L"%ls\\Quillmere", szAppData);
    return PrepareFolder(szFolderOut);
}

BOOL WriteAllItemsPage(FeedItemList items, wchar_t** ppszPathOut) {
    return WriteAllItemsPageTo(nullptr, items, ppszPathOut);
}

BOOL WriteItemPage(const _RSSFEED_DATA* pItem, wchar_t** ppszPathOut) {
    return WriteItemPageTo(nullptr, pItem, ppszPathOut);
}

BOOL WriteAllItemsPageTo(const wchar_t* szFolder, const FeedItemList& items, wchar_t** ppszPathOut) {
    if (!ppszPathOut || items.GetCount() == 0) return FALSE;
    *ppszPathOut = nullptr;
    wchar_t szPath[PAGE_PATH_MAX + 1];
    if (!MakePagePath(szFolder, L"allitems.htm", szPath)) return FALSE;
    auto body = [&items](HANDLE hFile) -> BOOL {
        for (unsigned int i = 0; i < items.GetCount(); ++i)
            if (!WriteItemBlock(hFile, items.GetAt(i)) || !WriteWideText(hFile, c_szSeparator)) return FALSE;
        return TRUE;
    };
    return WritePage(szPath, c_szTitleAll, body, ppszPathOut);
}

BOOL WriteItemPageTo(const wchar_t* szFolder, const _RSSFEED_DATA* pItem, wchar_t** ppszPathOut) {
    if (!ppszPathOut || !pItem) return FALSE;
    *ppszPathOut = nullptr;
    wchar_t szPath[PAGE_PATH_MAX + 1];
    if (!pItem->szItemFile[0] || !MakePagePath(szFolder, pItem->szItemFile, szPath)) return FALSE;
    auto body = [pItem](HANDLE hFile) -> BOOL { return WriteItemBlock(hFile, pItem); };
    return WritePage(szPath, c_szTitleItem, body, ppszPathOut);
}

void EncodeHrefLink(const wchar_t* szLink, wchar_t* szOut, size_t cchOut) {
    if (!szOut || cchOut == 0) return;
    size_t n = 0;
    for (const wchar_t* p = szLink ? szLink : L""; *p; ++p) {
        if (*p == L'"') {
            if (n + 3 >= cchOut) break;
            szOut[n++] = L'%';
            szOut[n++] = L'2';
            szOut[n++] = L'2';
        } else {
            if (n + 1 >= cchOut) break;
            szOut[n++] = *p;
        }
    }
    szOut[n] = 0;
}

namespace {

// The title, as a link only when the item's link is an absolute http or https address:
// a feed's javascript:, data:, file: or relative link never becomes something to click.
BOOL WriteTitle(HANDLE hFile, const _RSSFEED_DATA* pItem) {
    if (!IsWebAddress(pItem->szLink))
        return WriteWideText(hFile, c_szUnlinkedOpen) &&
               WriteFormattedText(hFile, c_szUnlinkedTitleFormat, pItem->szTitle);
    // Every character of the link may grow to three.
    const size_t cchLink = wcslen(pItem->szLink) * 3 + 1;
    wchar_t* pszLink = new (std::nothrow) wchar_t[cchLink];
    if (!pszLink) return FALSE;
    EncodeHrefLink(pItem->szLink, pszLink, cchLink);
    BOOL bOk = WriteFormattedText(hFile, c_szLinkFormat, pszLink);
    delete[] pszLink;
    return bOk && WriteFormattedText(hFile, c_szTitleFormat, pItem->szTitle);
}

}  // namespace

BOOL WriteItemBlock(HANDLE hFile, const _RSSFEED_DATA* pItem) {
    if (!pItem) return FALSE;
    return WriteTitle(hFile, pItem) &&
           WriteFormattedText(hFile, c_szDateFormat, pItem->szPubDate) &&
           WriteFormattedText(hFile, c_szDescriptionFormat, pItem->pszDescription ? pItem->pszDescription : L"");
}

BOOL WriteFormattedText(HANDLE hFile, const wchar_t* szFormat, const wchar_t* szText) {
    if (!szFormat) return FALSE;
    if (!szText) szText = L"";
    // Substituted by hand rather than by printf, whose "%s" means a narrow or a wide
    // string depending on the C library in use.
    const size_t cchText = wcslen(szText), cchFormat = wcslen(szFormat);
    wchar_t* pszOut = new (std::nothrow) wchar_t[cchText + cchFormat + 2];
    if (!pszOut) return FALSE;
    const wchar_t* pMark = wcsstr(szFormat, L"%s");
    size_t n = 0;
    if (pMark) {
        size_t cchBefore = static_cast<size_t>(pMark - szFormat);
        wmemcpy(pszOut, szFormat, cchBefore);
        wmemcpy(pszOut + cchBefore, szText, cchText);
        wcscpy(pszOut + cchBefore + cchText, pMark + 2);
        n = cchFormat - 2 + cchText;
    } else {
        wcscpy(pszOut, szFormat);
        n = cchFormat;
    }
    pszOut[n] = 0;
    BOOL bOk = WriteWideText(hFile, pszOut);
    delete[] pszOut;
    return bOk;
}

BOOL WriteWideText(HANDLE hFile, const wchar_t* szText) {
    if (!szText) return FALSE;
    return WriteBytes(hFile, szText, static_cast<DWORD>(wcslen(szText) * sizeof(wchar_t)));
}

BOOL WriteByteText(HANDLE hFile, const char* szText) {
    if (!szText) return FALSE;
    return WriteBytes(hFile, szText, static_cast<DWORD>(strlen(szText)));
}
