// Values that reach the settings file: nothing a feed or a file sends can end a line in
// it, and what is written reads back as it was.
#include <gtest/gtest.h>
#include "text/ini.h"
#include "text/oneline.h"

namespace {

struct Case {
    std::u16string in;
    std::u16string out;
};

}  // namespace

TEST(OneLine, ControlCharactersBecomeSpacesAndNothingElseChanges) {
    const Case cases[] = {
        {u"Evil\r\n[Injected]\r\nKey=1", u"Evil  [Injected]  Key=1"},
        {u"lone\rCR", u"lone CR"},
        {u"lone\nLF", u"lone LF"},
        {std::u16string(u"nul\0here", 8), u"nul here"},
        {u"tab\tand\x1F\x7F\x85\x9F", u"tab and    "},
        // Text that only looks like INI structure stays: it can no longer start a line.
        {u"[Section]", u"[Section]"},
        {u"Key=Value", u"Key=Value"},
        {u";comment", u";comment"},
        // Not controls: no-break space, line separator, letters beyond ASCII.
        {u"\u00A0\u2028\u00E9\U0001F600", u"\u00A0\u2028\u00E9\U0001F600"},
    };
    for (const Case& c : cases) EXPECT_EQ(OneLineText(c.in), c.out);
    EXPECT_EQ(TrimmedOneLine(u"\n    My Blog\n    News\n  "), u"My Blog     News");
    EXPECT_EQ(TrimmedOneLine(u"\r\n\t"), u"");
}

TEST(Ini, LinesAreClassifiedAsTheProfileFunctionsReadThem) {
    struct LineCase {
        std::u16string line;
        IniLine::Kind kind;
        std::u16string name, value;
        bool bHasValue;
    };
    const LineCase cases[] = {
        {u"", IniLine::BLANK, u"", u"", false},
        {u" \t\x1A", IniLine::BLANK, u"", u"", false},
        {u"  ; Title=commented", IniLine::COMMENT, u"", u"", false},
        {u"[Docklet1]", IniLine::SECTION, u"Docklet1", u"", false},
        {u"  [ Q ]  ; note", IniLine::SECTION, u"Q", u"", false},
        {u"[Q]]", IniLine::SECTION, u"Q]", u"", false},
        // No closing bracket: an entry, not a section.
        {u"[Q", IniLine::ENTRY, u"[Q", u"", false},
        {u" Key\t=  v ; not a comment ", IniLine::ENTRY, u"Key", u"v ; not a comment", true},
        {u"Title=My = \"x\"", IniLine::ENTRY, u"Title", u"My = \"x\"", true},
        {u"NoValue", IniLine::ENTRY, u"NoValue", u"", false},
        {u"Empty=", IniLine::ENTRY, u"Empty", u"", true},
        {u"#Key=1", IniLine::ENTRY, u"#Key", u"1", true},
    };
    for (const LineCase& c : cases) {
        IniLine line = ParseIniLine(c.line);
        EXPECT_EQ(line.kind, c.kind) << std::string(c.line.begin(), c.line.end());
        EXPECT_EQ(line.name, c.name);
        EXPECT_EQ(line.value, c.value);
        EXPECT_EQ(line.bHasValue, c.bHasValue);
    }
}

TEST(Ini, ValuesReadBackAsWritten) {
    const Case reads[] = {{u"\"q v\"", u"q v"}, {u"'s'", u"s"}, {u"\"h", u"\"h"}, {u"\"", u"\""},
                          {u"\"\"", u""},       {u"'x\"", u"'x\""}, {u"abcdef", u"abc"}, {u"\"abcdef\"", u"abc"}};
    for (const Case& c : reads) EXPECT_EQ(IniValueAsRead(c.in, 3), c.out);

    const Case writes[] = {
        {u"plain", u"plain"},
        {u"inner \"quotes\" stay", u"inner \"quotes\" stay"},
        {u"\"Quoted\"", u"\"\"Quoted\"\""},
        {u"'x'", u"\"'x'\""},
        {u"  padded ", u"\"  padded \""},
        {u"line\r\nbreak\n", u"\"line  break \""},
        {u"", u""},
    };
    for (const Case& c : writes) {
        EXPECT_EQ(IniValueToWrite(c.in), c.out);
        // Written, then read as a line of the file: the cleaned value comes back.
        std::u16string written = u"Key=" + IniValueToWrite(c.in);
        IniLine line = ParseIniLine(written);
        EXPECT_EQ(IniValueAsRead(line.value, 1000), OneLineText(c.in));
    }
}
