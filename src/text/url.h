// Web addresses as the feed code takes them apart: the fragment, which stays with the
// user and never goes to a server, and the parts the checks look at.
#pragma once
#include <string_view>

// The parts of an absolute address "scheme://authority/path?query#fragment". The
// fragment starts at the first '#' and the authority ends at the first '/', '?' or '#'
// after "//"; nothing is decoded or checked.
struct UrlParts {
    std::u16string_view scheme;
    std::u16string_view authority;
    std::u16string_view pathAndQuery;  // from the '/' or '?' that ends the authority
    std::u16string_view fragment;      // after the '#'
    bool bFragment = false;            // a '#' was there (the fragment may be empty)
};
// False when url does not start with a scheme and "://".
bool SplitUrl(std::u16string_view url, UrlParts* pParts);

// url up to its fragment: what is requested from a server.
std::u16string_view WithoutFragment(std::u16string_view url);

// Whether url may be a profile's feed address: http or https with a host, no white space
// or control characters, at most 2048 characters.
bool IsFeedAddress(std::u16string_view url);

// The links and xml:base values of a feed, before the platform's resolver sees them.
// url without the spaces, tabs and line breaks around it.
std::u16string_view TrimUrlSpace(std::u16string_view url);
// Whether a URL reference names its scheme ("scheme:..."): such a link is absolute and
// is never resolved against anything.
bool HasUrlScheme(std::u16string_view url);
// Whether url starts with "http://" or "https://" in any case: the only bases that links
// are resolved against, so a feed cannot make its links resolve to script or local files.
bool IsHttpBase(std::u16string_view url);
