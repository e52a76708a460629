#include "feed/newitems.h"
#include <cwchar>
#include "core/record.h"
#include "core/u16.h"
#include "core/unique.h"
#include "feed/itemstate.h"
#include "text/itemstate.h"

namespace {

bool HasLink(const _RSSFEED_DATA* pItem) {
    return pItem->szLink[0] && wcscmp(pItem->szLink, L"undefined") != 0;
}

uint64_t SecondsSince1970() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULONGLONG ull = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const ULONGLONG c_ull1970 = 116444736000000000ull;  // 1970-01-01 in 100 ns units since 1601
    return ull > c_ull1970 ? (ull - c_ull1970) / 10000000ull : 0;
}

}  // namespace

uint64_t ItemKey(const _RSSFEED_DATA* pItem) {
    // Prefixed, so a title never meets a link that reads the same.
    if (HasLink(pItem)) return HashText(u"L" + std::u16string(AsU16(pItem->szLink)));
    return HashText(u"T" + std::u16string(AsU16(pItem->szTitle)));
}

ItemKeySet CollectItemKeys(const FeedItemList& items) {
    ItemKeySet keys;
    keys.reserve(items.GetCount());
    for (unsigned int i = 0; i < items.GetCount(); ++i)
        if (const _RSSFEED_DATA* pItem = items.GetAt(i)) keys.insert(ItemKey(pItem));
    return keys;
}

size_t FindNewItems(const ItemKeySet& previous, const FeedItemList& items, ItemKeySet& fresh, size_t nComparable) {
    size_t nAdded = 0;
    for (unsigned int i = 0; i < items.GetCount() && i < nComparable; ++i) {
        const _RSSFEED_DATA* pItem = items.GetAt(i);
        if (!pItem) continue;
        uint64_t key = ItemKey(pItem);
        if (previous.count(key) == 0 && fresh.insert(key).second) ++nAdded;
    }
    return nAdded;
}

bool NoteNewItems(_DOCKLET_DATA* pData, const wchar_t* szURL) {
    KnownItems& known = pData->known;
    ItemKeySet keys;
    std::vector<uint64_t> order;
    keys.reserve(pData->items.GetCount());
    for (unsigned int i = 0; i < pData->items.GetCount(); ++i) {
        const _RSSFEED_DATA* pItem = pData->items.GetAt(i);
        if (!pItem) continue;
        uint64_t key = ItemKey(pItem);
        if (keys.insert(key).second && order.size() < ITEM_STATE_MAX_KEYS) order.push_back(key);
    }
    ItemKeySet fresh;
    size_t nNew = 0;
    // Another feed than the one remembered (its URL was edited) counts as a first refresh.
    if (known.bKnown && known.url == szURL && pData->bNotifyNew) {
        nNew = FindNewItems(known.keys, pData->items, fresh, ITEM_STATE_MAX_KEYS);
        // Marks not yet seen stay while their items are listed.
        for (uint64_t key : known.marked)
            if (keys.count(key)) fresh.insert(key);
    }
    known.marked.swap(fresh);
    known.keys.swap(keys);
    known.order.swap(order);
    known.url = szURL;
    known.bKnown = true;
    known.ullRefreshed = SecondsSince1970();
    return nNew > 0;
}

void ForgetKnownItems(_DOCKLET_DATA* pData) {
    pData->known = KnownItems();
}

bool IsItemMarkedNew(const _DOCKLET_DATA* pData, const _RSSFEED_DATA* pItem) {
    if (!pItem || !pData->bNotifyNew || pData->known.marked.empty()) return false;
    return pData->known.marked.count(ItemKey(pItem)) != 0;
}

size_t CountMarkedItems(const _DOCKLET_DATA* pData) {
    if (!pData->bNotifyNew || pData->known.marked.empty()) return 0;
    ItemKeySet counted;
    for (unsigned int i = 0; i < pData->items.GetCount(); ++i) {
        const _RSSFEED_DATA* pItem = pData->items.GetAt(i);
        if (!pItem) continue;
        uint64_t key = ItemKey(pItem);
        if (pData->known.marked.count(key)) counted.insert(key);
    }
    return counted.size();
}

void ClearNewItemMarks(_DOCKLET_DATA* pData) {
    if (!pData) return;
    {
        qm::ScopedLock lock(pData->csState);
        if (pData->known.marked.empty()) return;
        pData->known.marked.clear();
    }
    // The badge goes at once; the file follows.
    RequestDisplayUpdate(pData);
    SaveItemState(pData);
}
