// Turns a loaded MSXML DOM document into the feed's format, title and item records.
#pragma once
#include "core/docklet.h"

// Frees every record in the list (with its description) and empties the list.
void FreeFeedItems(FeedItemList& items);
