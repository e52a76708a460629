// Values on their way into the settings file and titles kept on one line: whatever a
// feed, a list or the user gives, the text written holds no CR, LF, NUL or other control
// character, so it can never start another key or section, and it reads back as the
// one-line form of what was given.
#include "fuzz.h"
#include "text/ini.h"
#include "text/oneline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string value = fuzz::DecodeText(fuzz::Expand(fuzz::Bytes(data, size)));
    const fuzz::Exact exact(value);
    std::u16string line, trimmed, written;
    fuzz::WithinTimeBound(value.size(), [&] {
        line = OneLineText(exact);
        trimmed = TrimmedOneLine(exact);
        written = IniValueToWrite(exact);
    });

    FUZZ_CHECK(line.size() == value.size());
    for (size_t i = 0; i < line.size(); ++i) FUZZ_CHECK(IsControlUnit(value[i]) ? line[i] == u' ' : line[i] == value[i]);
    for (char16_t c : written) FUZZ_CHECK(!IsControlUnit(c) && !IsIniLineBreak(c) && c != 0);
    FUZZ_CHECK(trimmed.empty() || (trimmed.front() != u' ' && trimmed.back() != u' '));
    FUZZ_CHECK(line.find(trimmed) != line.npos);

    // Written after its key, the value is one entry that reads back as its one-line form.
    const std::u16string entry = u"Title=" + written;
    const IniLine parsed = ParseIniLine(entry);
    FUZZ_CHECK(parsed.kind == IniLine::ENTRY && parsed.name == u"Title" && parsed.bHasValue);
    FUZZ_CHECK(IniValueAsRead(parsed.value, entry.size()) == line);
    return 0;
}
