// HTTP dates and Retry-After: the one date form servers send, and waits kept within a
// day, with nonsense ignored.
#include <gtest/gtest.h>
#include "text/httpdate.h"

TEST(HttpDate, OnlyTheStandardFormWithARealDayAndTime) {
    struct Case {
        const char16_t* szText;
        bool bOk;
        int64_t seconds;
    } cases[] = {
        {u"Thu, 01 Jan 1970 00:00:00 GMT", true, 0},
        {u"Sun, 06 Nov 1994 08:49:37 GMT", true, 784111777},
        {u"Thu, 29 Feb 2024 23:59:59 GMT", true, 1709251199},
        {u"Wed, 31 Dec 1969 23:59:59 GMT", true, -1},
        // Impossible days and times.
        {u"Wed, 29 Feb 2023 00:00:00 GMT", false, 0},
        {u"Thu, 31 Apr 2026 00:00:00 GMT", false, 0},
        {u"Thu, 00 Apr 2026 00:00:00 GMT", false, 0},
        {u"Sun, 06 Nov 1994 24:00:00 GMT", false, 0},
        {u"Sun, 06 Nov 1994 08:60:00 GMT", false, 0},
        // Other forms, other zones, other spellings, digits that are not.
        {u"Sunday, 06-Nov-94 08:49:37 GMT", false, 0},
        {u"Sun Nov  6 08:49:37 1994", false, 0},
        {u"Sun, 06 Nov 1994 08:49:37 UTC", false, 0},
        {u"Sun, 06 nov 1994 08:49:37 GMT", false, 0},
        {u"Xyz, 06 Nov 1994 08:49:37 GMT", false, 0},
        {u"Sun, 0x Nov 1994 08:49:37 GMT", false, 0},
        {u"Sun, 06 Nov 1994 08:49:37 GMT ", false, 0},
        {u"", false, 0},
    };
    for (const Case& c : cases) {
        int64_t seconds = 12345;
        EXPECT_EQ(ParseHttpDate(c.szText, &seconds), c.bOk) << testing::PrintToString(std::u16string(c.szText));
        if (c.bOk) {
            EXPECT_EQ(seconds, c.seconds);
        }
    }
}

TEST(HttpDate, RetryAfterInSecondsOrAsADateWithinADay) {
    const char16_t c_szDate[] = u"Tue, 08 Dec 2026 10:00:00 GMT";
    int64_t now = 0;
    ASSERT_TRUE(ParseHttpDate(c_szDate, &now));
    struct Case {
        const char16_t* szValue;
        const char16_t* szDate;
        uint32_t ms;
    } cases[] = {
        {u"7200", c_szDate, 7200000},
        {u" \t7200 ", u"", 7200000},
        {u"0", u"", 0},
        // A date counts from the server's Date, else from our clock.
        {u"Tue, 08 Dec 2026 12:00:00 GMT", c_szDate, 7200000},
        {u"Tue, 08 Dec 2026 12:00:00 GMT", u"garbage", 7200000},
        {u"Tue, 08 Dec 2026 09:00:00 GMT", c_szDate, 0},
        // At most a day; beyond a year, or not a number or a date, nothing.
        {u"172800", u"", 86400000},
        {u"31622400", u"", 86400000},
        {u"31622401", u"", 0},
        {u"Fri, 10 Dec 2027 10:00:00 GMT", c_szDate, 0},
        {u"1000000000000", u"", 0},
        {u"999999999999", u"", 0},
        {u"-1", u"", 0},
        {u"+60", u"", 0},
        {u"1.5", u"", 0},
        {u"soon", u"", 0},
        {u"", c_szDate, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RetryAfterMs(c.szValue, c.szDate, now), c.ms) << testing::PrintToString(std::u16string(c.szValue));
}
