// The repair of feeds that are not quite well-formed: each kind of fault real feeds have
// comes out as text a strict parser reads, with the characters and items it meant, and
// a well-formed feed comes out as it went in.
#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include "text/repair.h"

namespace {

std::string Narrow(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[12];
            snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

struct Repaired {
    std::u16string text;
    unsigned fRepairs;
};

Repaired Repair(std::u16string_view text) {
    Repaired r;
    EXPECT_EQ(RepairFeedText(text, r.text, r.fRepairs), RepairResult::Repaired) << Narrow(text);
    return r;
}

const std::u16string c_szHead = u"<rss version=\"2.0\"><channel><title>T</title>";
const std::u16string c_szTail = u"</channel></rss>";

std::u16string Feed(std::u16string_view items) {
    return c_szHead + std::u16string(items) + c_szTail;
}

struct Case {
    const char* szWhat;
    std::u16string in;
    std::u16string out;
    unsigned fRepairs;
};

// Each case comes out as expected, and what comes out is its well-formed twin: it comes
// out of a second repair unchanged.
void ExpectRepairs(const Case* pCases, size_t cCases) {
    for (size_t k = 0; k < cCases; ++k) {
        const Case& c = pCases[k];
        Repaired r = Repair(c.in);
        EXPECT_EQ(Narrow(r.text), Narrow(c.out)) << c.szWhat;
        EXPECT_EQ(Narrow(DescribeRepairs(r.fRepairs)), Narrow(DescribeRepairs(c.fRepairs))) << c.szWhat;
        Repaired twin = Repair(c.out);
        EXPECT_EQ(Narrow(twin.text), Narrow(c.out)) << c.szWhat;
        EXPECT_EQ(twin.fRepairs, 0u) << c.szWhat;
    }
}

}  // namespace

TEST(Repair, ReferencesAndCharacters) {
    const Case rgCases[] = {
        {"HTML entities become character references; XML's five stay",
         Feed(u"<item><title>Caf&eacute;&nbsp;&mdash; &amp;&lt;&gt;&quot;&apos;</title></item>"),
         Feed(u"<item><title>Caf&#233;&#160;&#8212; &amp;&lt;&gt;&quot;&apos;</title></item>"), c_fRepairEntities},
        {"bare ampersands in a link, and names XML and HTML do not know",
         Feed(u"<item><link>http://x/?a=1&b=2&copy=3&c</link><title>AT&T &foo; & &#; &#x; &#12a;</title></item>"),
         Feed(u"<item><link>http://x/?a=1&amp;b=2&amp;copy=3&amp;c</link>"
              u"<title>AT&amp;T &amp;foo; &amp; &amp;#; &amp;#x; &amp;#12a;</title></item>"),
         c_fRepairAmpersands},
        {"entity names are case-sensitive", Feed(u"<item><title>&NBSP;&Eacute;</title></item>"),
         Feed(u"<item><title>&amp;NBSP;&#201;</title></item>"), c_fRepairEntities | c_fRepairAmpersands},
        {"repairs in attribute values too", Feed(u"<item><link href=\"?a=1&b=2&eacute;\"/></item>"),
         Feed(u"<item><link href=\"?a=1&amp;b=2&#233;\"/></item>"), c_fRepairEntities | c_fRepairAmpersands},
        {"control characters and references to them are dropped; tab and line breaks stay",
         Feed(u"<item><title>a\x01" u"b\x0B" u"c\x1F\t\r\nd&#1;&#x1F;&#0;&#9;&#xFFFE;&#x110000;"
              u"&#99999999999999999999;</title></item>"),
         Feed(u"<item><title>abc\t\r\nd&#9;</title></item>"), c_fRepairControls},
        {"a NUL, U+FFFF and lone surrogates are dropped; a pair stays",
         Feed(std::u16string(u"<item><title>a\0b\uFFFF", 17) + u"\xD800x\xDC00y\xD83D\xDE00</title></item>"),
         Feed(u"<item><title>abxy\xD83D\xDE00</title></item>"), c_fRepairControls},
        {"references to the halves of one character become one reference; lone halves go",
         Feed(u"<item><title>&#55357;&#56832; &#xD83D;&#xDE00; &#xD83D; &#xDE00;</title></item>"),
         Feed(u"<item><title>&#128512; &#128512;  </title></item>"), c_fRepairEntities | c_fRepairControls},
        {"'X' in a hexadecimal reference", Feed(u"<item><title>&#X41;&#x42;</title></item>"),
         Feed(u"<item><title>&#65;&#x42;</title></item>"), c_fRepairEntities},
        {"controls inside CDATA, comments and attribute values go too",
         Feed(u"<item><title a=\"x\x02\"><![CDATA[p\x03q]]><!-- c\x04 --></title></item>"),
         Feed(u"<item><title a=\"x\"><![CDATA[pq]]><!-- c --></title></item>"), c_fRepairControls},
        {"controls go before the markup is read: they cannot hide the end of a CDATA section or comment",
         Feed(u"<item><title><![CDATA[a]]\x01>b]]></title><!---\x02--></item>"),
         Feed(u"<item><title><![CDATA[a]]>b]]&gt;</title></item>"),
         c_fRepairControls | c_fRepairMarkup | c_fRepairComments},
        {"CDATA is copied through untouched otherwise",
         Feed(u"<item><description><![CDATA[a & b <p>&nbsp;</b> ]]></description></item>&nbsp;"),
         Feed(u"<item><description><![CDATA[a & b <p>&nbsp;</b> ]]></description></item>&#160;"),
         c_fRepairEntities},
    };
    ExpectRepairs(rgCases, std::size(rgCases));
}

TEST(Repair, MarkupAndTags) {
    const Case rgCases[] = {
        {"a stray end tag in an unescaped description is dropped",
         Feed(u"<item><description>one</p>two</description><title>x</title></item>"),
         Feed(u"<item><description>onetwo</description><title>x</title></item>"), c_fRepairTags},
        {"what is dropped does not join ']]' and '>'", Feed(u"<item><title>a]]</b>></title></item>"),
         Feed(u"<item><title>a]]&gt;</title></item>"), c_fRepairTags | c_fRepairMarkup},
        {"an element still open when its parent ends is closed there",
         Feed(u"<item><description>a <p>b<br>c</description></item>"),
         Feed(u"<item><description>a <p>b<br>c</br></p></description></item>"), c_fRepairTags},
        {"an item left open is closed by its channel's end",
         c_szHead + u"<item><title>a</title>" + c_szTail, c_szHead + u"<item><title>a</title></item>" + c_szTail,
         c_fRepairTags},
        {"'<' that starts no markup is text, and so is ']]>'",
         Feed(u"<item><title>a < b, 1<2, <3, <-- x, a[b[1]]>0, ]]&#1;></title></item>"),
         Feed(u"<item><title>a &lt; b, 1&lt;2, &lt;3, &lt;-- x, a[b[1]]&gt;0, ]]&gt;</title></item>"),
         c_fRepairMarkup | c_fRepairControls},
        {"HTML tags that are not XML become text, their end tags go",
         Feed(u"<item><description><a href=http://x/?a=1&b=2>x</a><td nowrap>y</td></description></item>"),
         Feed(u"<item><description>&lt;a href=http://x/?a=1&amp;b=2>x&lt;td nowrap>y</description></item>"),
         c_fRepairMarkup | c_fRepairAmpersands | c_fRepairTags},
        {"a repeated attribute, '<' in a value or a name that is no name makes a tag text",
         Feed(u"<item><title>a<img src=\"a\" src=\"b\"/><i t=\"1<2\">b</i><x -y=\"1\"/><p:9/></title></item>"),
         Feed(u"<item><title>a&lt;img src=\"a\" src=\"b\"/>&lt;i t=\"1&lt;2\">b&lt;x -y=\"1\"/>&lt;p:9/></title></item>"),
         c_fRepairMarkup | c_fRepairTags},
        {"'<!' that starts nothing XML knows, and a document type inside the root, are text",
         Feed(u"<item><title><!DOCTYPE html><![if x]></title></item>"),
         Feed(u"<item><title>&lt;!DOCTYPE html>&lt;![if x]></title></item>"), c_fRepairMarkup},
        {"a comment with -- inside goes; a good one stays",
         Feed(u"<item><!-- a -- b --><!-- ok --><!-- c ---><title>x</title></item>"),
         Feed(u"<item><!-- ok --><title>x</title></item>"), c_fRepairComments},
        {"an undeclared prefix is declared on the root",
         u"<rss version=\"2.0\"><channel><itunes:author>A</itunes:author>"
         u"<item dc:x=\"1\"><media:content/></item></channel></rss>",
         u"<rss xmlns:itunes=\"urn:x-undeclared:itunes\" xmlns:dc=\"urn:x-undeclared:dc\" "
         u"xmlns:media=\"urn:x-undeclared:media\" version=\"2.0\"><channel><itunes:author>A</itunes:author>"
         u"<item dc:x=\"1\"><media:content/></item></channel></rss>",
         c_fRepairNamespaces},
        {"a prefix declared on an element is in scope below it, not after it",
         u"<rss><a xmlns:p=\"u\"><p:b/></a><p:c/></rss>",
         u"<rss xmlns:p=\"urn:x-undeclared:p\"><a xmlns:p=\"u\"><p:b/></a><p:c/></rss>", c_fRepairNamespaces},
    };
    ExpectRepairs(rgCases, std::size(rgCases));
}

TEST(Repair, BeforeAndAfterTheRoot) {
    const Case rgCases[] = {
        {"white space before the declaration goes",
         u"\r\n\n  <?xml version=\"1.0\"?>\n<rss/>", u"<?xml version=\"1.0\"?>\n<rss/>", c_fRepairLeadingJunk},
        {"a declaration after a comment goes", u"<!-- c -->\n<?xml version=\"1.0\"?><rss/>",
         u"<!-- c -->\n<rss/>", c_fRepairDeclaration},
        {"an ill-formed declaration goes", u"<?xml version=\"1.0</item>\"?><rss/>", u"<rss/>", c_fRepairDeclaration},
        {"so does one that names no version, or names out of order",
         u"<?xml encoding=\"utf-8\"?><rss/><?XML version=\"1.0\" standalone=\"yes\" encoding=\"x\"?>",
         u"<rss/>", c_fRepairDeclaration | c_fRepairTrailingJunk},
        {"a server's text before the root goes", u"Warning: x\n<rss/>", u" \n<rss/>", c_fRepairLeadingJunk},
        {"a second document after the root goes", Feed(u"") + u"\n<?xml version=\"1.0\"?>" + Feed(u""),
         Feed(u"") + u"\n", c_fRepairTrailingJunk},
        {"a comment after the root stays, tracking script after it goes",
         Feed(u"") + u"\n<!-- cached 0.2s -->\n<script>track()</script>\n<!-- x -->",
         Feed(u"") + u"\n<!-- cached 0.2s -->\n", c_fRepairTrailingJunk},
        {"a server's error text after the root goes", Feed(u"") + u"Fatal error: in /var/www/feed.php",
         Feed(u""), c_fRepairTrailingJunk},
        {"elements after the root go", Feed(u"") + u"<rss/>", Feed(u""), c_fRepairTrailingJunk},
        {"a document type that is not well-formed goes up to where it goes wrong",
         u"<!DOCTYPE rss PUBLIC \"a&b\" \"x\">\n<rss/>", u" \n<rss/>", c_fRepairLeadingJunk},
        {"so does one with an internal subset that is not well-formed",
         u"<!DOCTYPE rss [ <!ATTLIST rss v CDATA \"x\"> junk ]>\n<rss/>", u" \n<rss/>", c_fRepairLeadingJunk},
        {"so does a second one", u"<!DOCTYPE rss><!DOCTYPE rss>\n<rss/>", u"<!DOCTYPE rss>\n<rss/>",
         c_fRepairLeadingJunk},
        {"a document type without entities stays, so do entities it would have declared",
         u"<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" \"http://x/rss-0.91.dtd\">"
         u"<rss>&eacute;</rss>",
         u"<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" \"http://x/rss-0.91.dtd\">"
         u"<rss>&#233;</rss>",
         c_fRepairEntities},
    };
    ExpectRepairs(rgCases, std::size(rgCases));
}

TEST(Repair, RefusesDocumentsThatDeclareEntities) {
    const std::u16string rgszRefused[] = {
        u"<!DOCTYPE rss [<!ENTITY x \"y\">]><rss>&x;</rss>",
        u"<?xml version=\"1.0\"?>\n<!DOCTYPE rss [ <!-- c --> <!ENTITY % p SYSTEM \"file:///c:/\"> %p; ]><rss/>",
        u"<!DOCTYPE rss [%p;]><rss/>",
        u"<!DOCTYPE rss [<!ENTITY a \"&#38;#60;\">]><rss>&a;</rss",
        u"<!doctype rss [<!entity a \"b\">]><rss>&a;</rss>",
        u"<!DOCTYPE rss><!DOCTYPE rss [<!ENTITY a \"b\">]><rss>&a;</rss>",
        u"Warning: x\n<!DOCTYPE rss [<!ELEMENT rss %e;>]><rss/>",
    };
    for (const std::u16string& text : rgszRefused) {
        std::u16string out = u"x";
        unsigned fRepairs = 1;
        EXPECT_EQ(RepairFeedText(text, out, fRepairs), RepairResult::DeclaresEntities) << Narrow(text);
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(fRepairs, 0u);
    }
    // A subset without entities is read.
    std::u16string out;
    unsigned fRepairs = 0;
    EXPECT_EQ(RepairFeedText(u"<!DOCTYPE rss [<!ATTLIST rss v CDATA \"%\">]><rss/>", out, fRepairs),
              RepairResult::Repaired);
}

// The repaired text never grows past the limit it is given: a feed of bare ampersands
// would grow to five times its length.
TEST(Repair, StopsAtItsLimit) {
    const std::u16string rgszTexts[] = {
        u"<rss>" + std::u16string(1000, u'&') + u"</rss>",
        u"<rss><a b=\"" + std::u16string(1000, u'&') + u"\"/></rss>",
        u"<rss>" + std::u16string(1000, u'<') + u"</rss>",
        [] {
            std::u16string s = u"<rss>";
            for (int i = 0; i < 500; ++i) s += u"]]>";
            return s + u"</rss>";
        }(),
    };
    for (const std::u16string& text : rgszTexts) {
        std::u16string out = u"x";
        unsigned fRepairs = 1;
        EXPECT_EQ(RepairFeedText(text, out, fRepairs, 2000), RepairResult::TooLong) << Narrow(text.substr(0, 12));
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(fRepairs, 0u);
        EXPECT_EQ(RepairFeedText(text, out, fRepairs, 6000), RepairResult::Repaired) << Narrow(text.substr(0, 12));
        EXPECT_LE(out.size(), 6000u);
    }
}

TEST(Repair, DocumentCutShortIsClosedAfterItsLastWholeItem) {
    const std::u16string whole = u"<item><title>A</title></item>";
    const std::u16string closed = c_szHead + whole + c_szTail;
    const Case rgCases[] = {
        {"in an item's text", c_szHead + whole + u"<item><title>B", closed, c_fRepairTruncated},
        {"in a tag", c_szHead + whole + u"<item><ti", closed, c_fRepairTruncated},
        {"in an attribute", c_szHead + whole + u"<item><link href=\"http://x/", closed, c_fRepairTruncated},
        {"in a comment", c_szHead + whole + u"<item><!-- a", closed, c_fRepairTruncated},
        {"in a CDATA section", c_szHead + whole + u"<item><description><![CDATA[<p>a", closed, c_fRepairTruncated},
        {"in the CDATA keyword", c_szHead + whole + u"<item><description><![CDA", closed, c_fRepairTruncated},
        {"in a reference", c_szHead + whole + u"<item><title>&eac", closed, c_fRepairTruncated},
        {"in a surrogate pair of references", c_szHead + whole + u"<item><title>&#55357;&#568", closed,
         c_fRepairTruncated},
        {"after an item: nothing of the next", c_szHead + whole + u"<", closed, c_fRepairTruncated},
        {"in an end tag", c_szHead + whole + u"</chan", closed, c_fRepairTruncated},
        {"repairs in the part cut away are not reported",
         c_szHead + whole + u"<item><title>&eacute; &", closed, c_fRepairTruncated},
        {"nested items: back to the outermost",
         c_szHead + whole + u"<item><x><entry><title>B</title></entry><y>", closed, c_fRepairTruncated},
        {"no item open: the text so far is kept, the tag cut in half is not",
         u"<rss><channel><title>Tit<", u"<rss><channel><title>Tit</title></channel></rss>", c_fRepairTruncated},
        {"an Atom feed", u"<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><title>A</title></entry><entry><ti",
         u"<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><title>A</title></entry></feed>",
         c_fRepairTruncated},
        {"an RDF feed, its items outside the channel",
         u"<rdf:RDF xmlns:rdf=\"r\" xmlns=\"p\"><channel/><item><title>A</title></item><item><title>B",
         u"<rdf:RDF xmlns:rdf=\"r\" xmlns=\"p\"><channel/><item><title>A</title></item></rdf:RDF>",
         c_fRepairTruncated},
        {"a document that is one entry is not cut to nothing", u"<entry><title>A</title><summary>B",
         u"<entry><title>A</title><summary>B</summary></entry>", c_fRepairTruncated},
        {"a lone high surrogate at the end", c_szHead + whole + u"<item><ti\xD83D", closed,
         c_fRepairTruncated | c_fRepairControls},
    };
    ExpectRepairs(rgCases, std::size(rgCases));
}

// Each repaired kind has a well-formed twin, which must come out as it went in, and so
// must everything a well-formed feed may hold.
TEST(Repair, WellFormedTextComesOutUnchanged) {
    const std::u16string rgszWellFormed[] = {
        u"\uFEFF<?xml version=\"1.0\" standalone='yes' ?>\r\n<!-- a comment -->\n<?xml-stylesheet href=\"s.xsl\"?>\n"
        u"<!DOCTYPE rss PUBLIC \"-//x//EN\" \"http://x/r.dtd\" [ <!ATTLIST rss v CDATA \"]>\"> <!-- ] --> ]>\n"
        u"<rss version = '2.0' xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n\tx=\"a > b\">"
        u"<channel><title>Caf&#233; &#xE9; &amp; &lt;tag&gt; &quot;&apos; \U0001F600 \u00e9 a>b ]]</title>"
        u"<item><dc:creator>A</dc:creator><link href=\"?a=1&amp;b=2\" /><description><![CDATA[<p>a & b</p>]]>"
        u"</description><\u00e9l\u00e9ment \u00e9=\"1\"/><\U00010000/></item><?pi data?>"
        u"<a xmlns:p=\"u\"><p:b p:c=\"1\"/></a></channel></rss >\n<!-- after -->\n<?pi?>\n",
        u"<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><title type=\"html\">&lt;b&gt;x&lt;/b&gt;</title>"
        u"</entry></feed>",
        u"<rss/>",
        u"",
    };
    for (const std::u16string& text : rgszWellFormed) {
        Repaired r = Repair(text);
        EXPECT_EQ(Narrow(r.text), Narrow(text));
        EXPECT_EQ(r.fRepairs, 0u) << Narrow(DescribeRepairs(r.fRepairs));
    }
}

// A sample of real well-formed feeds: each read as UTF-8 and repaired comes out as it
// went in (where the sample files are on this machine).
TEST(Repair, WellFormedCorpusComesOutUnchanged) {
#ifdef _WIN32
    const std::filesystem::path folder = "Z:/work/shared/corpus/feedparser/wellformed";
#else
    const std::filesystem::path folder = "/work/shared/corpus/feedparser/wellformed";
#endif
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) GTEST_SKIP() << "no corpus of feeds here";
    size_t cRead = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".xml") continue;
        std::ifstream file(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        // UTF-8 to UTF-16; a byte that is not UTF-8 stands for itself, which is all
        // this needs: the text stays as well-formed as the file.
        std::u16string text;
        for (size_t i = 0; i < bytes.size();) {
            unsigned b = static_cast<unsigned char>(bytes[i]);
            size_t cb = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
            if (cb == 1 || i + cb > bytes.size()) {
                text += static_cast<char16_t>(b);
                ++i;
                continue;
            }
            char32_t cp = b & (0x3F >> (cb - 1));
            for (size_t k = 1; k < cb; ++k) cp = (cp << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
            if (cp >= 0x10000) {
                text += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                text += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                text += static_cast<char16_t>(cp);
            }
            i += cb;
        }
        std::u16string out;
        unsigned fRepairs = 0;
        if (RepairFeedText(text, out, fRepairs) != RepairResult::Repaired) continue;  // declares entities
        EXPECT_TRUE(out == text) << entry.path().string() << ": " << Narrow(DescribeRepairs(fRepairs));
        EXPECT_EQ(fRepairs, 0u) << entry.path().string();
        ++cRead;
    }
    EXPECT_GT(cRead, 1000u);
}

// A long feed cut at every tenth of its length keeps the items that arrived whole.
TEST(Repair, FeedCutAtEveryTenthKeepsItsWholeItems) {
    std::u16string items;
    for (int i = 0; i < 2000; ++i) {
        items += u"<item><title>Item " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                 u" &amp; more</title><link>http://example.com/?id=1&amp;p=2</link>"
                 u"<description><![CDATA[<p>Body <b>text</b></p>]]></description><!-- c --></item>";
    }
    const std::u16string text = Feed(items);
    for (int tenth = 1; tenth < 10; ++tenth) {
        const size_t cch = text.size() * tenth / 10;
        size_t ichWholeEnd = text.rfind(u"</item>", cch - 7);
        ASSERT_NE(ichWholeEnd, std::u16string::npos);
        const std::u16string expected = text.substr(0, ichWholeEnd + 7) + c_szTail;
        Repaired r = Repair(std::u16string_view(text).substr(0, cch));
        EXPECT_TRUE(r.text == expected) << tenth;
        EXPECT_EQ(r.fRepairs, unsigned(c_fRepairTruncated)) << tenth;
    }
}

// One pass: inputs that would make a naive repair search again and again take time in
// proportion to their length. (A quadratic path would take minutes at these sizes; the
// bound leaves room for slow machines and sanitizers.)
TEST(Repair, AdversarialInputTakesLinearTime) {
    constexpr size_t cch = 1 << 20;
    auto repeat = [](std::u16string_view unit, std::u16string_view head = u"<rss>") {
        std::u16string s(head);
        while (s.size() < cch) s += unit;
        return s;
    };
    const std::u16string rgInputs[] = {
        repeat(u"<a>"),
        repeat(u"</b>", u"<rss>" + repeat(u"<a>").substr(0, cch / 2)),
        repeat(u"&"),
        repeat(u"&eacute"),
        repeat(u"&#1"),
        repeat(u"<a b=\"x\" "),
        repeat(u"<a b=\"&"),
        repeat(u"<"),
        repeat(u"<!-- -- "),
        repeat(u"<p:a q:b='1'>"),
        repeat(u"\x01\xD800"),
        std::u16string(u"<rss>") + repeat(u"a", u"<!-- "),
        repeat(u"<item>"),
        repeat(u"]]>"),
        repeat(u"<!DOCTYPE a [ ", u"") + u"]x",
        repeat(u"<?xml version='1.0'?>", u""),
    };
    for (const std::u16string& input : rgInputs) {
        auto start = std::chrono::steady_clock::now();
        std::u16string out;
        unsigned fRepairs = 0;
        RepairFeedText(input, out, fRepairs);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_LT(ms.count(), 2000) << Narrow(input.substr(0, 24));
    }
}

TEST(Repair, NamesOfTheRepairs) {
    EXPECT_EQ(DescribeRepairs(0), u"");
    EXPECT_EQ(DescribeRepairs(c_fRepairEntities | c_fRepairTrailingJunk), u"entities, trailing junk");
    EXPECT_EQ(DescribeRepairs(c_fRepairTruncated | c_fRepairControls), u"control characters, truncated");
}
