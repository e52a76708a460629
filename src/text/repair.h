// Repair of a feed that is not quite well-formed XML, in the usual ways of feeds on the
// web: HTML entities, bare ampersands, control characters, junk after the document, a
// download cut short, unbalanced tags in unescaped HTML. Run only on text the strict
// parser refused, to give it a second try.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// What a repair changed, as bits of the result's fRepairs.
enum FeedRepair : unsigned {
    c_fRepairEntities = 1u << 0,      // HTML entities made character references
    c_fRepairAmpersands = 1u << 1,    // '&' that starts no known reference made "&amp;"
    c_fRepairMarkup = 1u << 2,        // '<' starting no markup, and "]]>" in text, escaped
    c_fRepairControls = 1u << 3,      // characters XML forbids, and references to them, dropped
    c_fRepairTags = 1u << 4,          // end tags that close nothing dropped, elements closed
    c_fRepairNamespaces = 1u << 5,    // prefixes used without a declaration declared
    c_fRepairComments = 1u << 6,      // comments with "--" inside dropped
    c_fRepairDeclaration = 1u << 7,   // an XML declaration out of place or ill-formed dropped
    c_fRepairLeadingJunk = 1u << 8,   // text and end tags before the root element dropped
    c_fRepairTrailingJunk = 1u << 9,  // what follows the root element dropped
    c_fRepairTruncated = 1u << 10,    // a document cut short closed after its last whole item
};

enum class RepairResult {
    Repaired,          // repairedOut is the repaired text
    DeclaresEntities,  // a document type declaration declares entities or refers to
                       // parameter entities: such a document is never parsed, repaired or not
    TooLong,           // the repaired text would be longer than cchMax units
};

// Repairs text, the decoded text of a feed, in time linear in its length: one pass over
// the markup, after one that drops forbidden characters when there are any.
// Gives Repaired with the repaired text and the repairs made (0 when none was needed);
// otherwise repairedOut is empty and fRepairsOut 0.
//
// What comes out:
// - Text that is well-formed XML, with its namespace prefixes declared, comes out
//   unchanged, unit for unit, with fRepairsOut 0.
// - References: XML's five (amp, lt, gt, quot, apos) and well-formed character
//   references stay as written. An HTML 4 entity (&eacute;) becomes a decimal
//   character reference (&#233;), and so does a hexadecimal reference written with
//   'X' or a pair of references to the two halves of a surrogate pair. A reference to
//   a character XML forbids is dropped. Any other '&' becomes "&amp;" and what follows
//   it is read as text: a bare '&', an unknown name, a name or number with no ';'.
// - Characters XML forbids (U+0000 to U+001F but tab, line feed and carriage return;
//   U+FFFE, U+FFFF; a surrogate not in a pair) are dropped everywhere before the markup
//   is read, in comments and CDATA sections too, where nothing else is changed.
// - Markup: a '<' that starts no well-formed tag, comment, CDATA section, processing
//   instruction or document type declaration becomes "&lt;" and what follows it is
//   read as text (so does a tag with an attribute value holding '<', an unquoted or
//   missing value, or a repeated attribute). A comment with "--" inside is dropped.
//   "]]>" in text becomes "]]&gt;".
// - Elements: an end tag that matches no open element is dropped; one that matches an
//   element below the innermost first closes the elements above it. An element or
//   attribute prefix with no declaration in scope is declared on the root element (a
//   made-up namespace "urn:x-undeclared:" + prefix).
// - Before the root element: white space, a byte-order mark at the start, comments,
//   processing instructions and the first document type declaration stay (one that is
//   not well-formed goes, up to where it goes wrong, and what follows is read on from
//   there); an XML declaration stays only when it is well-formed and nothing but white
//   space precedes it (and that white space is dropped); anything else goes.
// - After the root element: white space, comments and processing instructions stay up
//   to the first thing that is none of them (text, an element, a second XML
//   declaration); that and everything after it are dropped.
// - A document cut short (the text ends inside the root element, or inside a tag,
//   comment, CDATA section, processing instruction or reference, none of which is
//   then left half written) is cut back to before the start tag of its outermost
//   unfinished item (an element named "item" or "entry" with any prefix, below the
//   root), and its open elements are closed in order with end tags.
// The output is at most five times as long as the text, plus the end tags written for
// the elements it closes and the namespace declarations it adds to the root; the repair
// stops as soon as it passes cchMax.
RepairResult RepairFeedText(std::u16string_view text, std::u16string& repairedOut, unsigned& fRepairsOut,
                            size_t cchMax = SIZE_MAX);

// The names of the repairs in fRepairs, joined by ", " in the order of their bits:
// "entities, trailing junk". Empty for 0.
std::u16string DescribeRepairs(unsigned fRepairs);
