// What a feed's last successful refresh saw, kept in a small file per feed so that it
// survives a restart of the dock: the keys of the items listed (each a 64-bit hash of
// the item's link or title), which of them are still marked new, the validators of the
// feed's last 200 with the address they belong to, and when that refresh was.
//
// The file is UTF-8 text, one field a line, ending in a checksum line:
//
//   Quillmere item state 1
//   url http://example.com/feed.xml
//   refreshed 1767225600
//   validators http://example.com/feed.xml
//   etag "abc"
//   last-modified Tue, 08 Dec 2026 12:00:00 GMT
//   +3f2a9c0d11e4b7a2          (a key still marked new)
//   =9b0c44e1aa6d2f13          (a key seen)
//   end 5c1d0e7f9a3b2c4d
//
// Values are the UTF-16 units of the text: printable ASCII (space included) but '%' as
// it stands, anything else as %XXXX. The parser trusts nothing in the file: a file that is cut,
// changed, foreign, too big or out of bounds anywhere reads as no state at all.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Bounds of a state file; a file beyond any of them reads as no state.
constexpr size_t ITEM_STATE_MAX_KEYS = 2000;
constexpr size_t ITEM_STATE_MAX_URL = 2048;
constexpr size_t ITEM_STATE_MAX_ETAG = 255;
constexpr size_t ITEM_STATE_MAX_LAST_MODIFIED = 63;
constexpr size_t ITEM_STATE_MAX_BYTES = 128 * 1024;

struct ItemStateKey {
    uint64_t key = 0;
    bool bNew = false;  // still marked new: the item menu has not been opened since it came
};

struct ItemState {
    std::u16string url;         // the feed address the state belongs to
    uint64_t ullRefreshed = 0;  // the last successful refresh, seconds since 1970 (UTC)
    // The validators of the feed's last 200 and the address they were given for.
    std::u16string validatorsUrl;
    std::u16string eTag;
    std::u16string lastModified;
    std::vector<ItemStateKey> keys;  // the items of the last successful refresh, newest first
};

// A 64-bit hash of the UTF-16 units of text (the key of an item, the name of a feed's
// file). Stable across builds and platforms: it is kept in files.
uint64_t HashText(std::u16string_view text);
// The name of the state file of the feed at url: 16 hex digits of its hash and ".state".
std::u16string ItemStateFileName(std::u16string_view url);

// The bytes of the file for state. Keys past ITEM_STATE_MAX_KEYS are left out, and a
// value past its bound is written empty, so what is written always reads back.
std::string FormatItemState(const ItemState& state);
// body followed by its checksum line, the way every state file ends.
std::string SealItemState(std::string body);
// The state a file's bytes hold; false (with out emptied) when they hold none that is
// whole and within bounds.
bool ParseItemState(std::string_view bytes, ItemState& out);
