// The values of HTTP response headers: a date that parses formats back to the same
// instant; no Retry-After, however odd, asks for a wait of more than a day or one that
// is not what its number of seconds or its date says; a Content-Encoding is read
// without regard to case and to "identity", and two codings are never read as one; a
// charset name comes back out of a Content-Type whole.
#include "fuzz.h"
#include "text/header.h"
#include "text/httpdate.h"

namespace {

std::u16string Upper(std::u16string s) {
    for (char16_t& c : s)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A clock and an offset from their bytes, then Date, then the value of Retry-After
    // (also read as a Content-Encoding, a validator and a charset name).
    const auto fields = fuzz::Fields(fuzz::Bytes(data, size), 3);
    const std::u16string rest = fuzz::DecodeText(fields[0]), date = fuzz::DecodeText(fields[1]);
    const std::u16string retryAfter = fuzz::DecodeText(fuzz::Expand(fields[2]));
    const fuzz::Exact exactRetryAfter(retryAfter), exactDate(date);
    uint64_t clock = 0;
    for (char16_t c : rest.substr(0, 4)) clock = clock * 65536 + c;
    // Within two centuries of 1970.
    const int64_t now = static_cast<int64_t>(clock % (400ull * 366 * 86400)) - 200ll * 366 * 86400;

    uint32_t ms = 0;
    int64_t when = 0;
    bool bDate = false, bKeepable = false;
    ContentCoding coding = ContentCoding::Identity;
    fuzz::WithinTimeBound(retryAfter.size() + date.size(), [&] {
        ms = RetryAfterMs(exactRetryAfter, exactDate, now);
        bDate = ParseHttpDate(exactRetryAfter, &when);
        coding = DecideContentCoding(exactRetryAfter);
        bKeepable = IsKeepableValue(exactRetryAfter, 255);
    });
    FUZZ_CHECK(ms <= 86400u * 1000u && ms % 1000 == 0);

    if (bDate) {
        // The same instant, written the one way; the same text when the weekday was right.
        const std::u16string again = FormatHttpDate(when);
        int64_t whenAgain = 0;
        FUZZ_CHECK(ParseHttpDate(again, &whenAgain) && whenAgain == when);
        FUZZ_CHECK(again.substr(3) == retryAfter.substr(3));
    }
    // Any instant of those centuries written and read back; a wait measured from the
    // server's Date.
    const int64_t later = now + static_cast<int64_t>(rest.size() > 4 ? rest[4] : 0) * 997;
    int64_t read = 0;
    FUZZ_CHECK(ParseHttpDate(FormatHttpDate(now), &read) && read == now);
    const uint32_t waitMs = RetryAfterMs(FormatHttpDate(later), FormatHttpDate(now), 0);
    const int64_t seconds = later - now;
    FUZZ_CHECK(waitMs == (seconds > 366 * 86400 ? 0 : (seconds > 86400 ? 86400 : seconds) * 1000));

    FUZZ_CHECK(DecideContentCoding(Upper(retryAfter)) == coding);
    FUZZ_CHECK(DecideContentCoding(u" identity ,\t" + retryAfter + u", identity") == coding);
    FUZZ_CHECK(DecideContentCoding(retryAfter + u"," + retryAfter) ==
               (coding == ContentCoding::Identity ? coding : ContentCoding::Unsupported));
    if (bKeepable) {
        FUZZ_CHECK(retryAfter.size() <= 255);
        for (char16_t c : retryAfter) FUZZ_CHECK(c >= 0x20 && c <= 0x7E);
    }
    if (IsCharsetName(retryAfter)) {
        FUZZ_CHECK(CharsetParameter(u"text/xml; charset=" + retryAfter) == retryAfter);
        FUZZ_CHECK(CharsetParameter(u"text/xml;CHARSET=\"" + retryAfter + u"\" ; q=1") == retryAfter);
    }
    return 0;
}
