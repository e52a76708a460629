// Noticing new items: after each successful refresh the new list is compared with the
// list of the previous successful refresh of the same feed (kept in memory, and across
// restarts in the feed's state file). An item is known by a hash of its link, or of its
// title when it has none; the comparison runs on hash sets of those keys, so it stays
// linear in the sizes of both lists.
#pragma once
#include "core/docklet.h"

// The key an item is compared by.
uint64_t ItemKey(const _RSSFEED_DATA* pItem);
// The keys of every item of the list.
ItemKeySet CollectItemKeys(const FeedItemList& items);
// Adds to fresh the key of each item of items that previous lacks, among the first
// nComparable items of the list (further down an item is never new: a state file keeps
// no more keys than that); returns how many keys were added (items that share a key
// count once).
size_t FindNewItems(const ItemKeySet& previous, const FeedItemList& items, ItemKeySet& fresh,
                    size_t nComparable = SIZE_MAX);

// With csState held, right after a successful refresh of the feed at szURL put its list
// into items: marks the items that the previous successful refresh of that feed did not
// have (when bNotifyNew) and keeps this list's keys for the next one. Marks of items
// still listed stay. The first refresh of a feed marks nothing. True when items were
// marked now, that is when the dock should draw attention.
bool NoteNewItems(_DOCKLET_DATA* pData, const wchar_t* szURL);
// With csState held: the next refresh counts as the first (start, another profile),
// unless the feed's state file says what was seen before.
void ForgetKnownItems(_DOCKLET_DATA* pData);
// With csState held: whether the item menu shows pItem as new.
bool IsItemMarkedNew(const _DOCKLET_DATA* pData, const _RSSFEED_DATA* pItem);
// With csState held: how many of the listed items are marked new (0 when bNotifyNew is
// off); what the icon's badge counts.
size_t CountMarkedItems(const _DOCKLET_DATA* pData);
// The item menu has been opened: no item is shown as new any more. When marks went, the
// dock shows it at once, and the feed's state file is written again so they stay gone
// after a restart. Call without csState.
void ClearNewItemMarks(_DOCKLET_DATA* pData);
