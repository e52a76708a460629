// OPML subscription lists, the format feed readers exchange their feeds in: the
// profiles written as one, and the feeds read from one. Both go through MSXML (its
// writer and its DOM document).
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "core/docklet.h"

// At most this many feeds are taken from one list; a longer list is refused whole.
#define OPML_MAX_FEEDS 20000
// Outlines nested deeper than this (folders in folders) make a list refused whole.
#define OPML_MAX_DEPTH 100

struct OpmlFeed {
    std::wstring title;  // at most 500 characters, no control characters; may be empty
    std::wstring url;    // an http or https address of at most 2048 characters
};

struct OpmlList {
    std::vector<OpmlFeed> feeds;  // in document order, folders walked
    unsigned int nSkipped = 0;    // outlines with an xmlUrl that is not an http or https address
};

// Reads the feeds of the OPML file at szPath. False when the file cannot be read, is
// not well-formed, declares entities, is no OPML list or is refused for its size or
// depth; error then holds the message for the user.
bool ReadOpmlFile(const wchar_t* szPath, OpmlList& list, std::wstring& error);

// Writes the first nCount profiles as an OPML 2.0 list titled szTitle (UTF-8), replacing
// the file at szPath only once the whole list is written. False with the message for
// the user in error.
bool WriteOpmlFile(const wchar_t* szPath, const wchar_t* szTitle, const ProfileList& profiles, unsigned int nCount,
                   std::wstring& error);

// Whether the file starts (after a byte-order mark and white space) with '<': an XML
// file, never a settings file.
bool IsXmlFile(const wchar_t* szPath);
