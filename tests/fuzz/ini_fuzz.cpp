// The INI reader, line by line as the platform reads the dock's settings file: any file
// splits into lines that each parse into names and values lying inside the line and
// trimmed as the platform trims them, and a value read and written again reads the same.
#include "fuzz.h"
#include "text/ini.h"
#include "text/oneline.h"

namespace {

bool IsIniSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0x1A;
}

bool Inside(std::u16string_view part, std::u16string_view line) {
    return part.empty() || (part.data() >= line.data() && part.data() + part.size() <= line.data() + line.size());
}

bool Trimmed(std::u16string_view s) {
    return s.empty() || (!IsIniSpace(s.front()) && !IsIniSpace(s.back()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string file = fuzz::DecodeText(fuzz::Expand(fuzz::Bytes(data, size)));
    const fuzz::Exact exact(file);
    std::vector<std::u16string_view> lines;
    std::vector<IniLine> parsed;
    fuzz::WithinTimeBound(file.size(), [&] {
        lines.clear();
        parsed.clear();
        size_t start = 0;
        for (size_t i = 0; i <= file.size(); ++i) {
            if (i < file.size() && !IsIniLineBreak(file[i])) continue;
            lines.push_back(exact.view().substr(start, i - start));
            parsed.push_back(ParseIniLine(lines.back()));
            start = i + 1;
        }
    });

    for (size_t i = 0; i < lines.size(); ++i) {
        const std::u16string_view line = lines[i];
        const IniLine& p = parsed[i];
        FUZZ_CHECK(Inside(p.name, line) && Inside(p.value, line) && Trimmed(p.name) && Trimmed(p.value));
        switch (p.kind) {
        case IniLine::BLANK:
            for (char16_t c : line) FUZZ_CHECK(IsIniSpace(c));
            break;
        case IniLine::COMMENT: FUZZ_CHECK(line.find(u';') != line.npos); break;
        case IniLine::SECTION: FUZZ_CHECK(line.find(u'[') != line.npos && line.find(u']') != line.npos); break;
        case IniLine::ENTRY:
            FUZZ_CHECK(p.name.find(u'=') == p.name.npos);
            FUZZ_CHECK(p.bHasValue == (line.find(u'=') != line.npos));
            if (p.bHasValue) {
                // Read, written back and read again: the same value, on one line.
                const std::u16string read = IniValueAsRead(p.value, 65535);
                const std::u16string again = u"k=" + IniValueToWrite(read);
                const IniLine reparsed = ParseIniLine(again);
                FUZZ_CHECK(reparsed.bHasValue && IniValueAsRead(reparsed.value, 65535) == OneLineText(read));
            }
            break;
        }
    }
    return 0;
}
