#include "support/bigfeed.h"
#include <cstdio>

std::string LongItemsRss(int nItems) {
    std::string para;
    while (para.size() < 1245) para += "Lorem ipsum dolor sit amet, consectetur adipiscing elit &amp; more text here. ";
    para.resize(1245);
    std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel><title>Big</title>"
                    "<link>http://example.com/</link>\n";
    s.reserve(static_cast<size_t>(nItems) * c_cbLongItem + 4096);
    char buf[256];
    for (int i = 0; i < nItems; ++i) {
        snprintf(buf, sizeof(buf), "<item><title>Item %d</title><link>http://example.com/%d</link><description>", i, i);
        s += buf;
        s += para;
        s += "</description><pubDate>Tue, 08 Dec 2026 00:00:00 GMT</pubDate></item>\n";
    }
    return s + "</channel></rss>\n";
}
