// Large feeds made in code, for the tests and the benchmark (never kept in the
// repository).
#pragma once
#include <cstddef>
#include <string>

// About how many bytes an item of LongItemsRss takes.
const size_t c_cbLongItem = 1395;

// An RSS 2.0 feed of nItems items whose descriptions take about 1,250 bytes, as a feed
// that sends whole posts does: 20,000 items make 27.9 MB. Item i has the title "Item i"
// and the link "http://example.com/i".
std::string LongItemsRss(int nItems);
