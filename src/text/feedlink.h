// Finding the feeds a web page names: its head lists them as
// <link rel="alternate" type="application/rss+xml" href="...">. The page is read with a
// small scan of the head's tags only; nothing of it is run or loaded. The scan is linear
// in the page's length: each tag costs its own length, however many attributes it has.
#pragma once
#include <functional>
#include <string>
#include <string_view>

// Whether a response is an HTML page: its media type is text/html or
// application/xhtml+xml, or its text starts (after white space, comments and
// processing instructions) with an HTML doctype or an <html> or <head> tag.
bool IsHtmlResponse(std::u16string_view contentType, std::u16string_view text);

// Calls accept with the href of each RSS or Atom link of the page's head, in the page's
// order, with its character references decoded, until accept returns true. True when
// one was accepted.
bool ScanFeedLinks(std::u16string_view html, const std::function<bool(const std::u16string& href)>& accept);

// An href as an address to resolve: tabs and line breaks dropped, the spaces around it
// trimmed and the spaces inside it written %20. Empty when nothing is left.
std::u16string CleanHref(std::u16string_view href);
