// What a feed document says about how often it wants to be checked.
#pragma once
#include "feed/xmlcom.h"

// The least minutes between two checks that the feed asks for, from the elements of
// its first szContainer element ("channel", "feed"): RSS <ttl>, and the syndication
// module's updatePeriod and updateFrequency in their namespace, whatever the prefix
// (text/refreshperiod.h combines them). 0 when it asks for nothing or cannot be read;
// never throws a feed error.
int GetFeedRuleMinutes(IXMLDOMDocument* pDoc, const wchar_t* szContainer);
