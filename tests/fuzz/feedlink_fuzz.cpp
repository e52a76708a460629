// The feed-link scan of a web page: any page, however broken or hostile, is read in
// time linear in its length, and a feed it names is an absolute http or https address
// of at most 2,048 characters with nothing in it that could end a line or a value.
#include <algorithm>
#include "fuzz.h"
#include "text/feedlink.h"
#include "text/url.h"

namespace {

bool StartsNoCase(std::u16string_view s, std::u16string_view lowerPrefix) {
    if (s.size() < lowerPrefix.size()) return false;
    for (size_t i = 0; i < lowerPrefix.size(); ++i) {
        char16_t c = s[i] >= u'A' && s[i] <= u'Z' ? static_cast<char16_t>(s[i] + 32) : s[i];
        if (c != lowerPrefix[i]) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A Content-Type line, then the page.
    const auto fields = fuzz::Fields(fuzz::Bytes(data, size), 2);
    const std::u16string contentType = fuzz::DecodeText(fields[0]);
    const std::u16string html = fuzz::DecodeText(fuzz::Expand(fields[1]));
    const fuzz::Exact exactType(contentType), exactHtml(html);

    // The whole page, every link offered and none taken.
    size_t cOffered = 0;
    bool bFound = true;
    fuzz::WithinTimeBound(html.size(), [&] {
        IsHtmlResponse(exactType, exactHtml);
        cOffered = 0;
        bFound = ScanFeedLinks(exactHtml, [&](const std::u16string& href) {
            FUZZ_CHECK(href.size() <= html.size());
            ++cOffered;
            return false;
        });
    });
    FUZZ_CHECK(!bFound);
    FUZZ_CHECK(cOffered <= static_cast<size_t>(std::count(html.begin(), html.end(), u'<')));

    // The first that makes a feed address is taken, and the scan ends there.
    std::u16string taken;
    size_t cAfter = 0;
    bFound = ScanFeedLinks(exactHtml, [&](const std::u16string& href) {
        if (!taken.empty()) ++cAfter;
        std::u16string cleaned = CleanHref(href);
        FUZZ_CHECK(cleaned.find_first_of(u" \t\r\n\f") == cleaned.npos);
        if (!IsFeedAddress(cleaned)) return false;
        taken = cleaned;
        return true;
    });
    FUZZ_CHECK(bFound == !taken.empty() && cAfter == 0);
    if (bFound) {
        FUZZ_CHECK(StartsNoCase(taken, u"http://") || StartsNoCase(taken, u"https://"));
        FUZZ_CHECK(taken.size() <= 2048 && taken.size() > taken.find(u"//") + 2);
        for (char16_t c : taken) FUZZ_CHECK(c > u' ' && c != 0x7F);
    }
    return 0;
}
