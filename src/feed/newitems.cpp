#include "feed/newitems.h"
#include <cwchar>
#include "core/unique.h"

namespace {

bool HasLink(const _RSSFEED_DATA* pItem) {
    return pItem->szLink[0] && wcscmp(pItem->szLink, L"undefined") != 0;
}

}  // namespace

std::wstring ItemKey(const _RSSFEED_DATA* pItem) {
    // Prefixed, so a title never meets a link that reads the same.
    if (HasLink(pItem)) return L"L" + std::wstring(pItem->szLink);
    return L"T" + std::wstring(pItem->szTitle);
}

ItemKeySet CollectItemKeys(const FeedItemList& items) {
    ItemKeySet keys;
    keys.reserve(items.GetCount());
    for (unsigned int i = 0; i < items.GetCount(); ++i)
        if (const _RSSFEED_DATA* pItem = items.GetAt(i)) keys.insert(ItemKey(pItem));
    return keys;
}

size_t FindNewItems(const ItemKeySet& previous, const FeedItemList& items, ItemKeySet& fresh) {
    size_t nAdded = 0;
    for (unsigned int i = 0; i < items.GetCount(); ++i) {
        const _RSSFEED_DATA* pItem = items.GetAt(i);
        if (!pItem) continue;
        std::wstring key = ItemKey(pItem);
        if (previous.count(key) == 0 && fresh.insert(key).second) ++nAdded;
    }
    return nAdded;
}

bool NoteNewItems(_DOCKLET_DATA* pData, const wchar_t* szURL) {
    KnownItems& known = pData->known;
    ItemKeySet keys = CollectItemKeys(pData->items);
    ItemKeySet fresh;
    size_t nNew = 0;
    // Another feed than the one remembered (its URL was edited) counts as a first refresh.
    if (known.bKnown && known.url == szURL && pData->bNotifyNew) {
        nNew = FindNewItems(known.keys, pData->items, fresh);
        // Marks not yet seen stay while their items are listed.
        for (const std::wstring& key : known.marked)
            if (keys.count(key)) fresh.insert(key);
    }
    known.marked.swap(fresh);
    known.keys.swap(keys);
    known.url = szURL;
    known.bKnown = true;
    return nNew > 0;
}

void ForgetKnownItems(_DOCKLET_DATA* pData) {
    pData->known = KnownItems();
}

bool IsItemMarkedNew(const _DOCKLET_DATA* pData, const _RSSFEED_DATA* pItem) {
    if (!pItem || !pData->bNotifyNew || pData->known.marked.empty()) return false;
    return pData->known.marked.count(ItemKey(pItem)) != 0;
}

void ClearNewItemMarks(_DOCKLET_DATA* pData) {
    if (!pData) return;
    qm::ScopedLock lock(pData->csState);
    pData->known.marked.clear();
}
