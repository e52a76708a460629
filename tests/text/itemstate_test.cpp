// The state file of a feed: what is written reads back as it was, and whatever else a
// file holds (cut, changed, foreign, oversized) reads as no state, never as part of one.
#include <gtest/gtest.h>
#include <cstdint>
#include <string>
#include "text/itemstate.h"

namespace {

ItemState Sample(size_t nKeys = 5) {
    ItemState s;
    s.url = u"http://example.com/feed.xml?a=1&b=%41";
    s.ullRefreshed = 1767225600;
    s.validatorsUrl = s.url;
    s.eTag = u"W/\"abc 123\"";
    s.lastModified = u"Tue, 08 Dec 2026 12:00:00 GMT";
    for (size_t i = 0; i < nKeys; ++i)
        s.keys.push_back({HashText(u"Lhttp://e/" + std::u16string(1, u'a' + i % 26)) + i, i < 2});
    return s;
}

bool SameState(const ItemState& a, const ItemState& b) {
    if (a.url != b.url || a.ullRefreshed != b.ullRefreshed || a.validatorsUrl != b.validatorsUrl || a.eTag != b.eTag ||
        a.lastModified != b.lastModified || a.keys.size() != b.keys.size())
        return false;
    for (size_t i = 0; i < a.keys.size(); ++i)
        if (a.keys[i].key != b.keys[i].key || a.keys[i].bNew != b.keys[i].bNew) return false;
    return true;
}

// The file without its checksum line.
std::string BodyOf(const std::string& file) {
    return file.substr(0, file.rfind("end "));
}

}  // namespace

TEST(ItemState, WhatIsWrittenReadsBackAsItWas) {
    const ItemState cases[] = {
        Sample(),
        Sample(0),
        Sample(ITEM_STATE_MAX_KEYS),
        // Text beyond ASCII, a percent sign, a lone surrogate, line breaks: all kept.
        [] {
            ItemState s = Sample(1);
            s.url = u"http://b\u00FCcher.example/\u65E5\u672C?q=100%\r\nx\xD800";
            s.validatorsUrl.clear();
            s.eTag.clear();
            s.lastModified.clear();
            s.ullRefreshed = UINT64_MAX;
            return s;
        }(),
    };
    for (const ItemState& s : cases) {
        std::string bytes = FormatItemState(s);
        ItemState back;
        ASSERT_TRUE(ParseItemState(bytes, back)) << bytes;
        EXPECT_TRUE(SameState(s, back)) << bytes;
        EXPECT_LE(bytes.size(), ITEM_STATE_MAX_BYTES);
    }
    // The largest state there can be still fits the reader's bound.
    ItemState big = Sample(ITEM_STATE_MAX_KEYS);
    big.url = big.validatorsUrl = std::u16string(ITEM_STATE_MAX_URL, u'\u00E9');
    big.eTag = std::u16string(ITEM_STATE_MAX_ETAG, u'%');
    big.lastModified = std::u16string(ITEM_STATE_MAX_LAST_MODIFIED, u'x');
    ItemState back;
    EXPECT_TRUE(ParseItemState(FormatItemState(big), back));
    EXPECT_TRUE(SameState(big, back));
}

TEST(ItemState, TheWriterKeepsWithinTheBoundsItReadsBy) {
    ItemState s = Sample(ITEM_STATE_MAX_KEYS + 10);
    s.eTag = u"bad\r\nInjected: 1";             // would be a header line of its own
    s.lastModified = std::u16string(64, u'x');  // one past its bound
    s.validatorsUrl = std::u16string(u"a\0b", 3);
    ItemState back;
    ASSERT_TRUE(ParseItemState(FormatItemState(s), back));
    EXPECT_EQ(back.keys.size(), ITEM_STATE_MAX_KEYS);
    EXPECT_EQ(back.keys.front().key, s.keys.front().key);  // the newest are kept
    EXPECT_EQ(back.eTag, u"");
    EXPECT_EQ(back.lastModified, u"");
    EXPECT_EQ(back.validatorsUrl, u"");
    EXPECT_EQ(back.url, s.url);
}

TEST(ItemState, DamagedFilesReadAsNoState) {
    const std::string good = FormatItemState(Sample());
    const std::string body = BodyOf(good);
    std::vector<std::pair<std::string, std::string>> cases = {
        {"empty", ""},
        {"only the checksum line", SealItemState("")},
        {"random bytes",
         std::string("\x8f\x01\xffQuillmere\x00\x13\x37 item state 1\nend ", 30) + std::string(16, 'a') + "\n"},
        {"a foreign file", "[Quillmere]\r\nTitle=Quillmere\r\n"},
        {"another version", SealItemState("Quillmere item state 2\n" + body.substr(body.find('\n') + 1))},
        {"one byte changed",
         [&] {
             std::string s = good;
             s[good.find("http") + 7] ^= 0x20;
             return s;
         }()},
        {"line ends changed to CR LF",
         [&] {
             std::string s;
             for (char c : good) s += c == '\n' ? std::string("\r\n") : std::string(1, c);
             return s;
         }()},
        {"bytes after the checksum line", good + "x"},
        {"more keys than the bound",
         [&] {
             std::string s = body;
             for (size_t i = 0; i < ITEM_STATE_MAX_KEYS; ++i) s += "=0123456789abcdef\n";
             return SealItemState(s);
         }()},
        {"a huge file", SealItemState(body + std::string(ITEM_STATE_MAX_BYTES, '\n'))},
        {"a key that is not hex", SealItemState(body + "+0123456789abcdeg\n")},
        {"a key cut short", SealItemState(body + "=0123456789abcde\n")},
        {"an empty line", SealItemState(body + "\n")},
        {"an over-long address",
         SealItemState("Quillmere item state 1\nurl " + std::string(ITEM_STATE_MAX_URL + 1, 'u') +
                       "\nrefreshed 1\nvalidators \netag \nlast-modified \n")},
        {"a header line in the ETag", SealItemState("Quillmere item state 1\nurl u\nrefreshed 1\nvalidators \n"
                                                    "etag a%000D%000AX: y\nlast-modified \n")},
        {"a NUL in the address", SealItemState("Quillmere item state 1\nurl a%0000b\nrefreshed 1\nvalidators \n"
                                               "etag \nlast-modified \n")},
        {"a broken escape", SealItemState("Quillmere item state 1\nurl a%00\nrefreshed 1\nvalidators \n"
                                          "etag \nlast-modified \n")},
        {"a time past 64 bits", SealItemState("Quillmere item state 1\nurl u\nrefreshed 18446744073709551616\n"
                                              "validators \netag \nlast-modified \n")},
        {"fields out of order", SealItemState("Quillmere item state 1\nrefreshed 1\nurl u\nvalidators \n"
                                              "etag \nlast-modified \n")},
        {"text beyond ASCII written raw", SealItemState("Quillmere item state 1\nurl \xC3\xA9\nrefreshed 1\n"
                                                        "validators \netag \nlast-modified \n")},
    };
    // Cut at every tenth of its length.
    for (int i = 1; i < 10; ++i)
        cases.push_back({"cut at " + std::to_string(i * 10) + "%", good.substr(0, good.size() * i / 10)});
    for (const auto& c : cases) {
        ItemState out = Sample();
        EXPECT_FALSE(ParseItemState(c.second, out)) << c.first;
        EXPECT_TRUE(out.url.empty() && out.keys.empty()) << c.first << ": nothing of it is kept";
    }
    // The sealing helper makes files the parser takes when they are sound.
    ItemState out;
    EXPECT_TRUE(ParseItemState(SealItemState(body), out));
}

TEST(ItemState, FileNamesAndKeysAreStableHashes) {
    // Kept in files: a change of the hash would lose every user's state.
    EXPECT_EQ(ItemStateFileName(u"http://example.com/feed.xml"), u"eb3c0fb5980a550f.state");
    EXPECT_NE(ItemStateFileName(u"http://example.com/feed.xml"), ItemStateFileName(u"http://example.com/feed.xmL"));
    EXPECT_EQ(ItemStateFileName(u"").size(), 16u + 6u);
    EXPECT_NE(HashText(u"ab"), HashText(u"ba"));
    EXPECT_NE(HashText(u"\u0100"), HashText(u"\u0001"));
    EXPECT_EQ(HashText(u""), HashText(std::u16string_view()));
}
