// Feed addresses compared as the same feed: the same text once trimmed, with the
// scheme and the host in lower case (the parts of a URL that ignore case).
#pragma once
#include <string>
#include <string_view>

// The form of url that two addresses of the same feed share: white space around it
// removed, the scheme and the host (after any user name, before any port) in lower
// case; the path, query and fragment as they stand.
std::u16string FeedAddressKey(std::u16string_view url);
