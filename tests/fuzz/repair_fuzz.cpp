// The recovery pass for feeds that are not well-formed: whatever the text, it ends in
// time linear in its length, within the length it promises and cchMax, holds no
// character XML forbids, and what it gives is left as it is by a second pass.
#include "fuzz.h"
#include "text/repair.h"

namespace {

bool IsForbidden(std::u16string_view text, size_t i) {
    const char16_t c = text[i];
    if (c < 0x20) return c != u'\t' && c != u'\n' && c != u'\r';
    if (c == 0xFFFE || c == 0xFFFF) return true;
    if (c >= 0xD800 && c <= 0xDBFF) return !(i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF);
    if (c >= 0xDC00 && c <= 0xDFFF) return !(i > 0 && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF);
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks a limit for a second run, the rest is the feed's text.
    const size_t cchLimit = static_cast<size_t>(data[0]) * 16;
    const std::u16string text = fuzz::DecodeText(fuzz::Expand(fuzz::Bytes(data + 1, size - 1)));
    const fuzz::Exact exact(text);
    std::u16string repaired;
    unsigned fRepairs = 0;
    RepairResult result = RepairResult::TooLong;
    fuzz::WithinTimeBound(text.size(), [&] { result = RepairFeedText(exact, repaired, fRepairs); });
    if (result != RepairResult::Repaired) {
        FUZZ_CHECK(repaired.empty() && fRepairs == 0 && result == RepairResult::DeclaresEntities);
        return 0;
    }
    for (size_t i = 0; i < repaired.size(); ++i) FUZZ_CHECK(!IsForbidden(repaired, i));
    if (fRepairs == 0) FUZZ_CHECK(repaired == text);
    FUZZ_CHECK(!DescribeRepairs(fRepairs).empty() || fRepairs == 0);

    // Repaired once is repaired for good.
    std::u16string again;
    unsigned fAgain = 99;
    FUZZ_CHECK(RepairFeedText(repaired, again, fAgain) == RepairResult::Repaired);
    FUZZ_CHECK(fAgain == 0 && again == repaired);

    // A limit is kept, or the repair says the text is too long (it may say so of a text
    // whose repair passes the limit on the way and is cut back below it at the end).
    std::u16string limited;
    unsigned fLimited = 0;
    RepairResult limitedResult = RepairFeedText(exact, limited, fLimited, cchLimit);
    if (repaired.size() > cchLimit) FUZZ_CHECK(limitedResult == RepairResult::TooLong);
    if (limitedResult == RepairResult::Repaired) FUZZ_CHECK(limited == repaired && fLimited == fRepairs);
    else FUZZ_CHECK(limitedResult == RepairResult::TooLong && limited.empty() && fLimited == 0);
    return 0;
}
