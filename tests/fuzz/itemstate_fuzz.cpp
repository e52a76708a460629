// The state file of a feed, read from whatever bytes are on disk: a file reads as a
// state within the bounds or as none at all, and a state read is written and read back
// as it was.
#include "fuzz.h"
#include "text/itemstate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = fuzz::Expand(fuzz::Bytes(data, size));
    // The body as given, and the same body sealed, so the checksum lets the fields through.
    const size_t cut = bytes.rfind("end ");
    const std::string sealed = SealItemState(bytes.substr(0, cut == std::string::npos ? bytes.size() : cut));
    for (const std::string* pFile : {&bytes, &sealed}) {
        ItemState state;
        state.url = u"left over";
        state.keys.push_back({1, true});
        bool bRead = false;
        const fuzz::ExactBytes exact(*pFile);
        fuzz::WithinTimeBound(pFile->size(), [&] { bRead = ParseItemState(exact, state); });
        if (!bRead) {
            FUZZ_CHECK(SameItemState(state, ItemState()));
            continue;
        }
        FUZZ_CHECK(pFile->size() <= ITEM_STATE_MAX_BYTES);
        FUZZ_CHECK(state.keys.size() <= ITEM_STATE_MAX_KEYS && state.url.size() <= ITEM_STATE_MAX_URL &&
                   state.validatorsUrl.size() <= ITEM_STATE_MAX_URL && state.eTag.size() <= ITEM_STATE_MAX_ETAG &&
                   state.lastModified.size() <= ITEM_STATE_MAX_LAST_MODIFIED);
        ItemState again;
        FUZZ_CHECK(ParseItemState(FormatItemState(state), again) && SameItemState(state, again));
    }
    return 0;
}
