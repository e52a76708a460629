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
