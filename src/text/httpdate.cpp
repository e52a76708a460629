#include "text/httpdate.h"
#include "text/header.h"

namespace {

// A Retry-After beyond this is not a sincere request; up to it, the wait is cut to a day.
const int64_t c_nonsenseSeconds = 366ll * 24 * 60 * 60;
const int64_t c_maxSeconds = 24ll * 60 * 60;
// More digits than this is no number of seconds anyone means.
const size_t c_cMaxDigits = 12;

bool ReadDigits(std::u16string_view s, size_t at, size_t n, int* pValue) {
    int value = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (s[i] < u'0' || s[i] > u'9') return false;
        value = value * 10 + (s[i] - u'0');
    }
    *pValue = value;
    return true;
}

// Index of the three letters at s[at] in a list of three-letter names; -1 when absent.
int NameIndex(std::u16string_view s, size_t at, const char* szNames) {
    for (int i = 0; szNames[3 * i]; ++i)
        if (s[at] == szNames[3 * i] && s[at + 1] == szNames[3 * i + 1] && s[at + 2] == szNames[3 * i + 2]) return i;
    return -1;
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
int64_t DaysFromEpoch(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

bool ParseHttpDate(std::u16string_view s, int64_t* pSeconds) {
    // "Www, DD Mmm YYYY HH:MM:SS GMT"
    if (s.size() != 29 || s[3] != u',' || s[4] != u' ' || s[7] != u' ' || s[11] != u' ' || s[16] != u' ' ||
        s[19] != u':' || s[22] != u':' || s.substr(25) != u" GMT")
        return false;
    if (NameIndex(s, 0, "MonTueWedThuFriSatSun") < 0) return false;
    int month = NameIndex(s, 8, "JanFebMarAprMayJunJulAugSepOctNovDec") + 1;
    int day, year, hour, minute, second;
    if (month == 0 || !ReadDigits(s, 5, 2, &day) || !ReadDigits(s, 12, 4, &year) || !ReadDigits(s, 17, 2, &hour) ||
        !ReadDigits(s, 20, 2, &minute) || !ReadDigits(s, 23, 2, &second))
        return false;
    static const int c_aDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int daysInMonth = c_aDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    if (day < 1 || day > daysInMonth || hour > 23 || minute > 59 || second > 59) return false;
    *pSeconds = DaysFromEpoch(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

uint32_t RetryAfterMs(std::u16string_view retryAfter, std::u16string_view date, int64_t nowSeconds) {
    std::u16string_view value = TrimHttpSpace(retryAfter);
    if (value.empty()) return 0;
    int64_t seconds = 0;
    if (value.find_first_not_of(u"0123456789") == std::u16string_view::npos) {
        if (value.size() > c_cMaxDigits) return 0;
        for (char16_t c : value) seconds = seconds * 10 + (c - u'0');
    } else {
        int64_t when = 0, now = 0;
        if (!ParseHttpDate(value, &when)) return 0;
        if (!ParseHttpDate(TrimHttpSpace(date), &now)) now = nowSeconds;
        seconds = when > now ? when - now : 0;
    }
    if (seconds > c_nonsenseSeconds) return 0;
    if (seconds > c_maxSeconds) seconds = c_maxSeconds;
    return static_cast<uint32_t>(seconds * 1000);
}
