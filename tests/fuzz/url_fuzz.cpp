// Addresses taken apart: the parts of an address put together give it back, the key
// of a feed address is stable, and an address that may be a feed's is one a link could
// be resolved against.
#include "fuzz.h"
#include "text/feedaddress.h"
#include "text/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string url = fuzz::DecodeText(fuzz::Expand(fuzz::Bytes(data, size)));
    const fuzz::Exact exact(url);
    UrlParts parts;
    bool bSplit = false, bFeed = false;
    std::u16string key;
    std::u16string_view trimmed;
    fuzz::WithinTimeBound(url.size(), [&] {
        bSplit = SplitUrl(exact, &parts);
        bFeed = IsFeedAddress(exact);
        key = FeedAddressKey(exact);
        trimmed = TrimUrlSpace(exact);
    });

    if (bSplit) {
        std::u16string joined = std::u16string(parts.scheme) + u"://" + std::u16string(parts.authority) +
                                std::u16string(parts.pathAndQuery);
        if (parts.bFragment) joined += u"#" + std::u16string(parts.fragment);
        FUZZ_CHECK(joined == url);
        FUZZ_CHECK(parts.authority.find_first_of(u"/?#") == parts.authority.npos);
        FUZZ_CHECK(parts.pathAndQuery.find(u'#') == parts.pathAndQuery.npos);
        FUZZ_CHECK(HasUrlScheme(url));
    }
    FUZZ_CHECK(WithoutFragment(url) == url.substr(0, url.find(u'#')));
    if (bFeed) FUZZ_CHECK(bSplit && IsHttpBase(url) && url.size() <= 2048 && !parts.authority.empty());

    // The key keeps the address's length and is its own key.
    FUZZ_CHECK(key.size() == trimmed.size() && FeedAddressKey(key) == key);
    FUZZ_CHECK(TrimUrlSpace(trimmed) == trimmed);
    return 0;
}
