// Noticing new items: the comparison of a refresh's list with the previous one.
#include <gtest/gtest.h>
#include <initializer_list>
#include <utility>
#include "feed/newitems.h"
#include "feed/parser.h"

namespace {

typedef std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> Titled;  // {title, link}

// How many items of the list after are new after the list before.
size_t CountNew(Titled before, Titled after) {
    FeedItemList lists[2];
    for (int i = 0; i < 2; ++i)
        for (const auto& it : i ? after : before) {
            lists[i].Add(NewFeedItem());
            CopyText(lists[i].GetAt(lists[i].GetCount() - 1)->szTitle, 501, it.first);
            CopyText(lists[i].GetAt(lists[i].GetCount() - 1)->szLink, 2049, it.second);
        }
    ItemKeySet fresh;
    size_t n = FindNewItems(CollectItemKeys(lists[0]), lists[1], fresh);
    FreeFeedItems(lists[0]);
    FreeFeedItems(lists[1]);
    return n;
}

}  // namespace

TEST(NewItems, ComparedByLinkOrWithoutOneByTitle) {
    EXPECT_EQ(CountNew({{L"A", L"http://e/a"}, {L"B", L"http://e/b"}}, {{L"A", L"http://e/a"}, {L"B", L"http://e/b"}}),
              0u);
    EXPECT_EQ(CountNew({{L"A", L"http://e/a"}, {L"B", L"http://e/b"}}, {{L"X", L"http://e/x"}, {L"A", L"http://e/a"}}),
              1u);
    // Every link changed: all new, whatever the titles.
    EXPECT_EQ(CountNew({{L"A", L"http://e/a"}, {L"B", L"http://e/b"}}, {{L"A", L"http://e/1"}, {L"B", L"http://e/2"}}),
              2u);
    // Duplicates within the feed: a new item listed twice counts once, an old one never.
    EXPECT_EQ(CountNew({{L"A", L"http://e/a"}},
                       {{L"X", L"http://e/x"}, {L"X again", L"http://e/x"}, {L"A", L"http://e/a"}, {L"A", L"http://e/a"}}),
              1u);
    // Without a link (empty or "undefined") the title counts; a title never matches a link.
    EXPECT_EQ(CountNew({{L"T1", L""}, {L"T2", L"undefined"}}, {{L"T1", L"undefined"}, {L"T2", L""}, {L"T3", L""}}), 1u);
    EXPECT_EQ(CountNew({{L"A", L"http://e/a"}}, {{L"http://e/a", L""}}), 1u);
}
