// Noticing new items: the comparison of two lists, and what a run of refreshes marks.
#include <gtest/gtest.h>
#include <initializer_list>
#include <utility>
#include "core/record.h"
#include "feed/newitems.h"
#include "feed/parser.h"

namespace {

// Items given as {title, link}; the list owns them.
struct Items {
    FeedItemList list;
    Items(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> items) {
        for (const auto& it : items) {
            _RSSFEED_DATA* p = NewFeedItem();
            CopyText(p->szTitle, 501, it.first);
            CopyText(p->szLink, 2049, it.second);
            list.Add(p);
        }
    }
    ~Items() { FreeFeedItems(list); }
};

size_t CountNew(const Items& before, const Items& after) {
    ItemKeySet fresh;
    return FindNewItems(CollectItemKeys(before.list), after.list, fresh);
}

}  // namespace

TEST(NewItems, ComparedByLinkOrWithoutOneByTitle) {
    Items old{{L"A", L"http://e/a"}, {L"B", L"http://e/b"}, {L"C", L"http://e/c"}};
    EXPECT_EQ(CountNew(old, old), 0u);
    EXPECT_EQ(CountNew(old, Items{{L"X", L"http://e/x"}, {L"A", L"http://e/a"}, {L"B", L"http://e/b"}}), 1u);
    // Every link changed: all new, whatever the titles.
    EXPECT_EQ(CountNew(old, Items{{L"A", L"http://e/1"}, {L"B", L"http://e/2"}, {L"C", L"http://e/3"}}), 3u);
    // Duplicates within the feed: one new item listed twice counts once, an old one never.
    EXPECT_EQ(CountNew(old, Items{{L"X", L"http://e/x"}, {L"X again", L"http://e/x"}, {L"A", L"http://e/a"},
                                  {L"A", L"http://e/a"}}),
              1u);
    // Without a link (empty or "undefined") the title counts; a title never matches a link.
    Items linkless{{L"T1", L""}, {L"T2", L"undefined"}};
    EXPECT_EQ(CountNew(linkless, Items{{L"T1", L"undefined"}, {L"T2", L""}}), 0u);
    EXPECT_EQ(CountNew(linkless, Items{{L"T1", L""}, {L"T3", L"undefined"}}), 1u);
    EXPECT_EQ(CountNew(old, Items{{L"http://e/a", L""}}), 1u);
}

TEST(NewItems, ARefreshMarksWhatThePreviousSuccessfulOneOfTheSameFeedLacked) {
    _DOCKLET_DATA* p = NewDockletRecord();
    Items first{{L"A", L"http://e/a"}, {L"B", L"http://e/b"}};
    Items second{{L"X", L"http://e/x"}, {L"A", L"http://e/a"}};
    Items third{{L"Y", L"http://e/y"}, {L"X", L"http://e/x"}};
    auto Note = [p](const Items& items, const wchar_t* szURL = L"http://feed/") {
        p->items = items.list;
        return NoteNewItems(p, szURL);
    };
    auto Marked = [p](const Items& items, unsigned int i) { return IsItemMarkedNew(p, items.list.GetAt(i)); };
    EXPECT_FALSE(Note(first));  // the first refresh has nothing to compare with
    EXPECT_FALSE(Marked(first, 0));
    EXPECT_TRUE(Note(second));
    EXPECT_TRUE(Marked(second, 0));
    EXPECT_FALSE(Marked(second, 1));
    EXPECT_TRUE(Note(third));  // X was not seen yet: it stays marked beside Y
    EXPECT_TRUE(Marked(third, 0) && Marked(third, 1));
    ClearNewItemMarks(p);
    EXPECT_FALSE(Marked(third, 0) || Marked(third, 1));
    EXPECT_FALSE(Note(first, L"http://other/"));  // another feed starts afresh
    p->bNotifyNew = 0;
    EXPECT_FALSE(Note(third, L"http://other/"));
    EXPECT_FALSE(Marked(third, 0));
    p->bNotifyNew = 1;
    ForgetKnownItems(p);
    EXPECT_FALSE(Note(first));
    p->items.RemoveAll();
    ReleaseDocklet(p);
}
