// Downloads the active profile's feed and hands the document to the parser.
#pragma once
#include "core/docklet.h"

// Runs on the refresh worker. True when the feed was fetched and parsed; the new items
// are then in pData->items. Failures are reported to the user and give false.
bool RetrieveFeed(_DOCKLET_DATA* pData);
