// How often a feed is checked: the reader's period, lengthened by what the feed asks
// for and by a server's back-off, never shortened by either.
#include <gtest/gtest.h>
#include "text/refreshperiod.h"

TEST(RefreshPeriod, TheFeedsRuleFromItsElements) {
    struct Case {
        std::u16string ttl, period, frequency;
        int iMinutes;
    };
    const Case cases[] = {
        {u"", u"", u"", 0},
        {u"180", u"", u"", 180},
        {u" 30\n", u"", u"", 30},
        {u"0", u"", u"", 0},
        {u"-60", u"", u"", 0},
        {u"60 minutes", u"", u"", 0},
        {u"1.5", u"", u"", 0},
        {u"99999999999999999999", u"", u"", FEED_RULE_MAX_MINUTES},
        {u"", u"hourly", u"", 60},
        {u"", u"hourly", u"2", 30},
        {u"", u"Daily", u"", 1440},
        {u"", u"", u"4", 360},  // a frequency alone is per day
        {u"", u"daily", u"0", 1440},
        {u"", u"daily", u"many", 1440},
        {u"", u"hourly", u"120", 0},  // more often than once a minute: no rule
        {u"", u"weekly", u"", FEED_RULE_MAX_MINUTES},
        {u"", u"yearly", u"1", FEED_RULE_MAX_MINUTES},
        {u"", u"fortnightly", u"1", 0},
        // Both given: the longer one.
        {u"180", u"hourly", u"", 180},
        {u"15", u"daily", u"12", 120},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FeedRuleMinutes(c.ttl, c.period, c.frequency), c.iMinutes)
            << std::string(c.ttl.begin(), c.ttl.end()) << "|" << std::string(c.period.begin(), c.period.end()) << "|"
            << std::string(c.frequency.begin(), c.frequency.end());
}

TEST(RefreshPeriod, TheLongestOfTheReadersTheFeedsAndTheServersWins) {
    struct Case {
        int iRefreshMinutes, iFeedMinutes;
        uint32_t uBackOffMs;
        uint32_t uMs;
    };
    const uint32_t minute = 60000;
    const Case cases[] = {
        {60, 0, 0, 60 * minute},     // today's files: hourly
        {15, 180, 0, 180 * minute},  // the ttl is a lower bound
        {15, 0, 0, 15 * minute},
        {240, 180, 0, 240 * minute},                  // never shorter than the reader asked
        {15, 180, 6 * 60 * minute, 6 * 60 * minute},  // a Retry-After of 6 hours wins over both
        {60, 0, 90000, 60 * minute},                  // a short back-off changes nothing
        {1, 0, 0, 5 * minute},                        // the reader's minutes held to their bounds
        {-5, 0, 0, 5 * minute},
        {100000, 0, 0, 1440 * minute},
        {5, 100000, 0, 1440 * minute},
        {5, 0, 0xFFFFFFFFu, 1440 * minute},  // and a back-off to a day
    };
    for (const Case& c : cases)
        EXPECT_EQ(RefreshPeriodMs(c.iRefreshMinutes, c.iFeedMinutes, c.uBackOffMs), c.uMs)
            << c.iRefreshMinutes << " " << c.iFeedMinutes << " " << c.uBackOffMs;
}

TEST(RefreshPeriod, PeriodsReadAsWords) {
    EXPECT_EQ(CheckPeriodText(60), u"every hour");
    EXPECT_EQ(CheckPeriodText(120), u"every 2 hours");
    EXPECT_EQ(CheckPeriodText(1440), u"every 24 hours");
    EXPECT_EQ(CheckPeriodText(90), u"every 90 minutes");
    EXPECT_EQ(CheckPeriodText(5), u"every 5 minutes");
}
