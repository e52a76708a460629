// Dates and waits as HTTP headers give them.
#pragma once
#include <cstdint>
#include <string_view>

// An HTTP date in the one form servers send ("Tue, 08 Dec 2026 12:00:00 GMT"), as seconds
// since 1970-01-01 00:00:00 UTC (negative before). False for anything else, an impossible
// day or time included: the older forms are not read.
bool ParseHttpDate(std::u16string_view text, int64_t* pSeconds);

// The wait a Retry-After value asks for, in ms: a number of seconds, or an HTTP date
// measured from the response's Date (the server's own clock) or, without one, from
// nowSeconds (seconds since 1970). At most a day; 0 when the value is empty, past,
// negative, garbage or more than a year away.
uint32_t RetryAfterMs(std::u16string_view retryAfter, std::u16string_view date, int64_t nowSeconds);
