// The HTML pages the viewer shows: "allitems.htm" with every item of a feed and
// "item%d.html" with one item, written into the page folder.
//
// File format: the bytes FF FE, then UTF-16LE text with no terminator and no line breaks
// of the writer's own, apart from the CR LF that must follow the Mark of the Web comment
// right after the document type declaration. That comment puts the page in the Internet
// zone, so markup from a feed never runs with the rights of the local machine; see
// https://learn.microsoft.com/previous-versions/windows/internet-explorer/ie-developer/compatibility/ms537628(v=vs.85)
// Feed texts are written verbatim, with one exception for the link: the title links to
// the item only when its link is an absolute http or https address, with each double
// quote in it as %22 so it cannot leave its href attribute; any other link (script,
// data, local file, relative, "undefined") leaves the title unlinked. Descriptions stay
// as the feed wrote them; the viewer keeps them inert (no script, no navigation of its
// own).
#pragma once
#include "core/docklet.h"

// Full paths are at most this long (the buffers hold one more unit for the terminator).
#define PAGE_PATH_MAX 260

// The page folder: the local application-data folder followed by "\Quillmere", created
// when missing (never removed). szFolderOut holds PAGE_PATH_MAX + 1 units. 0 when the
// folder is unknown or cannot be created.
BOOL GetPageFolder(wchar_t* szFolderOut);

// Writes the all-items page for a snapshot of the item list (the same record pointers;
// the records must stay alive while it runs). Returns 1 when the page was written
// completely; *ppszPathOut then holds a new wchar_t[PAGE_PATH_MAX + 1] with the full
// path, which the caller frees with delete[]. Returns 0 otherwise with *ppszPathOut null,
// except for an empty list, which leaves *ppszPathOut untouched.
BOOL WriteAllItemsPage(FeedItemList items, wchar_t** ppszPathOut);
// Writes the page of one item, named by its szItemFile. Same results as above; a null
// item returns 0 and leaves *ppszPathOut untouched.
BOOL WriteItemPage(const _RSSFEED_DATA* pItem, wchar_t** ppszPathOut);

// The same two pages written into szFolder instead of the page folder (for tools that
// check pages outside the viewer, e.g. "feeddump --pages DIR"). szFolder is created when
// missing (its parent must exist); a null szFolder means the page folder.
BOOL WriteAllItemsPageTo(const wchar_t* szFolder, const FeedItemList& items, wchar_t** ppszPathOut);
BOOL WriteItemPageTo(const wchar_t* szFolder, const _RSSFEED_DATA* pItem, wchar_t** ppszPathOut);

// The building blocks, each one write call per fragment. Non-zero on success.
// The item block: title (linked or not), date and description fragments, stopping at a
// failure.
BOOL WriteItemBlock(HANDLE hFile, const _RSSFEED_DATA* pItem);
// szFormat with its one "%s" replaced by szText.
BOOL WriteFormattedText(HANDLE hFile, const wchar_t* szFormat, const wchar_t* szText);
// The UTF-16 code units of szText, without the terminator.
BOOL WriteWideText(HANDLE hFile, const wchar_t* szText);
// The bytes of szText, without the terminator (the byte-order mark).
BOOL WriteByteText(HANDLE hFile, const char* szText);

// The link as written inside href: every double quote percent-encoded, nothing else
// changed.
void EncodeHrefLink(const wchar_t* szLink, wchar_t* szOut, size_t cchOut);
