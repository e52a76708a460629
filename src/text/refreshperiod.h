// How often a feed is checked: the reader's own period ("RefreshMinutes"), which a
// feed may lengthen (RSS <ttl>, the syndication module's updatePeriod and
// updateFrequency) and a server may lengthen further for a while (Retry-After).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The reader's period, in minutes: its bounds and its default.
constexpr int REFRESH_MINUTES_MIN = 5;
constexpr int REFRESH_MINUTES_MAX = 1440;
constexpr int REFRESH_MINUTES_DEFAULT = 60;
// A feed's own rule counts up to a day: a feed that asks for a check a week is still
// looked at daily.
constexpr int FEED_RULE_MAX_MINUTES = 1440;

// The least time between two checks that a feed asks for, in minutes (0: it asks for
// nothing), from the texts of its elements (empty where it has none):
// - ttl: RSS <ttl>, a whole number of minutes;
// - period, frequency: <sy:updatePeriod> (hourly, daily, weekly, monthly, yearly;
//   daily when only a frequency is given) divided by <sy:updateFrequency> (a positive
//   whole number, 1 when missing or not one).
// The longer of the two counts, at most FEED_RULE_MAX_MINUTES. Values that are not
// what those elements hold count as not given.
int FeedRuleMinutes(std::u16string_view ttl, std::u16string_view period, std::u16string_view frequency);

// The time from one check to the next, in milliseconds: the reader's minutes (held to
// their bounds), unless the feed's rule or the server's back-off (milliseconds, at
// most a day) asks for longer.
uint32_t RefreshPeriodMs(int iRefreshMinutes, int iFeedRuleMinutes, uint32_t uBackOffMs);

// A period of minutes as a sentence ends: "every hour", "every 2 hours",
// "every 45 minutes".
std::u16string CheckPeriodText(int iMinutes);
