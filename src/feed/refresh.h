// The background refresh: one worker per instance downloads and parses the active
// profile's feed, shows the busy state on the dock, notices new items, keeps the feed's
// state file and re-arms the refresh timer.
#pragma once
#include "core/docklet.h"
#include "feed/download.h"

// Starts a refresh unless one is running (the request is then dropped).
void StartRefresh(_DOCKLET_DATA* pData);

// The download of one refresh of the feed at szURL (the active profile's), as the worker
// runs it: the feed's state file is read once per address (ReadItemState), and
// validators the instance holds while it holds no items (those of the state file after a
// start) are sent all the same, so an unchanged feed answers 304; as a 304 leaves
// nothing to show then, the feed is fetched again without them. pAnswer gets the first
// answer, pAgain the second when there was one. True as RetrieveFeed is.
bool RefreshFeed(_DOCKLET_DATA* pData, HANDLE hCancel, const wchar_t* szURL, FeedAnswer* pAnswer = nullptr,
                 FeedAnswer* pAgain = nullptr);
