#include "text/refreshperiod.h"
#include "text/ascii.h"

namespace {

const uint32_t c_uMsPerMinute = 60u * 1000u;
const uint32_t c_uMaxBackOffMs = 24u * 60u * c_uMsPerMinute;

std::u16string_view Trimmed(std::u16string_view s) {
    auto isSpace = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

// A positive whole number written in decimal digits; values past the cap read as the
// cap. 0 for anything else.
long long PositiveNumber(std::u16string_view text, long long llCap) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == u'+') text.remove_prefix(1);
    if (text.empty()) return 0;
    long long value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return 0;
        value = value * 10 + (c - u'0');
        if (value > llCap) value = llCap;
    }
    return value;
}

// The minutes of an update period; 0 when it names none.
long long PeriodMinutes(std::u16string_view period) {
    std::u16string name = AsciiLower(Trimmed(period));
    if (name.empty() || name == u"daily") return 24 * 60;
    if (name == u"hourly") return 60;
    if (name == u"weekly") return 7 * 24 * 60;
    if (name == u"monthly") return 30 * 24 * 60;
    if (name == u"yearly") return 365 * 24 * 60;
    return 0;
}

}  // namespace

int FeedRuleMinutes(std::u16string_view ttl, std::u16string_view period, std::u16string_view frequency) {
    long long llMinutes = PositiveNumber(ttl, FEED_RULE_MAX_MINUTES);
    if (!Trimmed(period).empty() || !Trimmed(frequency).empty()) {
        long long llFrequency = PositiveNumber(frequency, 1000000);
        if (llFrequency == 0) llFrequency = 1;
        long long llSyndication = PeriodMinutes(period) / llFrequency;
        if (llSyndication > llMinutes) llMinutes = llSyndication;
    }
    return static_cast<int>(llMinutes > FEED_RULE_MAX_MINUTES ? FEED_RULE_MAX_MINUTES : llMinutes);
}

uint32_t RefreshPeriodMs(int iRefreshMinutes, int iFeedRuleMinutes, uint32_t uBackOffMs) {
    int iMinutes = iRefreshMinutes < REFRESH_MINUTES_MIN   ? REFRESH_MINUTES_MIN
                   : iRefreshMinutes > REFRESH_MINUTES_MAX ? REFRESH_MINUTES_MAX
                                                           : iRefreshMinutes;
    if (iFeedRuleMinutes > FEED_RULE_MAX_MINUTES) iFeedRuleMinutes = FEED_RULE_MAX_MINUTES;
    if (iFeedRuleMinutes > iMinutes) iMinutes = iFeedRuleMinutes;
    uint32_t uMs = static_cast<uint32_t>(iMinutes) * c_uMsPerMinute;
    if (uBackOffMs > c_uMaxBackOffMs) uBackOffMs = c_uMaxBackOffMs;
    return uBackOffMs > uMs ? uBackOffMs : uMs;
}

std::u16string CheckPeriodText(int iMinutes) {
    auto number = [](int n) {
        std::string digits = std::to_string(n);
        return std::u16string(digits.begin(), digits.end());
    };
    if (iMinutes == 60) return u"every hour";
    if (iMinutes > 60 && iMinutes % 60 == 0) return u"every " + number(iMinutes / 60) + u" hours";
    if (iMinutes == 1) return u"every minute";
    return u"every " + number(iMinutes) + u" minutes";
}
