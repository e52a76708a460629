#include "feed/parser.h"

void FreeFeedItems(FeedItemList& items) {
    for (unsigned int i = 0; i < items.GetCount(); ++i) {
        _RSSFEED_DATA* pItem = items.GetAt(i);
        if (!pItem) continue;
        delete[] pItem->pszDescription;
        free(pItem);
        items.GetAt(i) = nullptr;
    }
    items.RemoveAll();
}
