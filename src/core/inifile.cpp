#include "core/inifile.h"
#include "core/files.h"
#include "core/u16.h"
#include "text/ini.h"

namespace {

enum Encoding { ENCODING_ANSI, ENCODING_UTF8, ENCODING_UTF16LE, ENCODING_UTF16BE };

// A line of the file: where it starts, where its text ends and where the next one starts
// (after CR, LF or CR LF), in bytes.
struct LineSpan {
    size_t start, end, next;
};

// The file split into lines without decoding it, so lines that stay are copied byte for
// byte. CR and LF never occur inside a character of the 8-bit encodings the platform
// reads (ASCII-compatible code pages, double-byte ones included, and UTF-8).
struct IniText {
    std::string bytes;
    Encoding encoding = ENCODING_ANSI;
    size_t cbBom = 0;
    std::vector<LineSpan> lines;

    size_t UnitSize() const { return encoding == ENCODING_UTF16LE || encoding == ENCODING_UTF16BE ? 2 : 1; }
    char16_t Unit(size_t at) const {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
        if (encoding == ENCODING_UTF16LE) return static_cast<char16_t>(p[0] | (p[1] << 8));
        if (encoding == ENCODING_UTF16BE) return static_cast<char16_t>((p[0] << 8) | p[1]);
        return p[0];
    }

    void Split() {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
        size_t n = bytes.size();
        if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
            encoding = ENCODING_UTF16LE, cbBom = 2;
        } else if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
            encoding = ENCODING_UTF16BE, cbBom = 2;
        } else if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
            encoding = ENCODING_UTF8, cbBom = 3;
        }
        const size_t cbUnit = UnitSize();
        n -= (n - cbBom) % cbUnit;  // a stray last byte of UTF-16 is no character
        size_t start = cbBom;
        for (size_t at = cbBom; at < n; at += cbUnit) {
            char16_t c = Unit(at);
            if (!IsIniLineBreak(c)) continue;
            size_t next = at + cbUnit;
            if (c == u'\r' && next < n && Unit(next) == u'\n') next += cbUnit;
            lines.push_back({start, at, next});
            start = next;
            at = next - cbUnit;
        }
        if (start < bytes.size()) lines.push_back({start, n, bytes.size()});
    }

    std::u16string Decode(size_t start, size_t end) const {
        std::u16string text;
        if (UnitSize() == 2) {
            text.reserve((end - start) / 2);
            for (size_t at = start; at + 2 <= end; at += 2) text += Unit(at);
            return text;
        }
        if (end == start) return text;
        const UINT cp = encoding == ENCODING_UTF8 ? CP_UTF8 : CP_ACP;
        const int cb = static_cast<int>(end - start);
        int cch = MultiByteToWideChar(cp, 0, bytes.data() + start, cb, nullptr, 0);
        if (cch <= 0) return text;
        text.resize(static_cast<size_t>(cch));
        MultiByteToWideChar(cp, 0, bytes.data() + start, cb, reinterpret_cast<wchar_t*>(&text[0]), cch);
        return text;
    }
    std::u16string Line(size_t i) const { return Decode(lines[i].start, lines[i].end); }

    std::string Encode(std::u16string_view text) const {
        std::string out;
        if (UnitSize() == 2) {
            out.reserve(text.size() * 2);
            for (char16_t c : text) {
                char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
                if (encoding == ENCODING_UTF16LE) out += lo, out += hi;
                else out += hi, out += lo;
            }
            return out;
        }
        if (text.empty()) return out;
        const UINT cp = encoding == ENCODING_UTF8 ? CP_UTF8 : CP_ACP;
        const auto* w = reinterpret_cast<const wchar_t*>(text.data());
        const int cch = static_cast<int>(text.size());
        int cb = WideCharToMultiByte(cp, 0, w, cch, nullptr, 0, nullptr, nullptr);
        if (cb <= 0) return out;
        out.resize(static_cast<size_t>(cb));
        WideCharToMultiByte(cp, 0, w, cch, &out[0], cb, nullptr, nullptr);
        return out;
    }
};

// The index of the first line of the section named szSection (its header), or -1.
long FindSection(const IniText& text, std::u16string_view trimmedName) {
    for (size_t i = 0; i < text.lines.size(); ++i) {
        std::u16string line = text.Line(i);
        IniLine parsed = ParseIniLine(line);
        if (parsed.kind == IniLine::SECTION && parsed.name.size() == trimmedName.size() &&
            CompareStringOrdinal(reinterpret_cast<const wchar_t*>(parsed.name.data()),
                                 static_cast<int>(parsed.name.size()),
                                 reinterpret_cast<const wchar_t*>(trimmedName.data()),
                                 static_cast<int>(trimmedName.size()), TRUE) == CSTR_EQUAL)
            return static_cast<long>(i);
    }
    return -1;
}

// The section name as the file's headers are compared with it (white space trimmed).
std::u16string SectionName(const wchar_t* szSection) {
    std::u16string header = u"[" + std::u16string(AsU16(szSection)) + u"]";
    IniLine parsed = ParseIniLine(header);
    return std::u16string(parsed.name);
}

bool LoadText(const wchar_t* szFile, IniText& text, DWORD* pdwError) {
    if (!ReadWholeFile(szFile, text.bytes, INI_MAX_FILE_BYTES, pdwError)) return false;
    text.Split();
    return true;
}

}  // namespace

bool ReadIniSection(const wchar_t* szFile, const wchar_t* szSection, IniSection& section, DWORD* pdwError) {
    section = IniSection();
    if (!szFile || !szSection) return false;
    IniText text;
    if (!LoadText(szFile, text, pdwError)) return false;
    const std::u16string name = SectionName(szSection);
    long header = FindSection(text, name);
    if (header < 0) return true;
    section.bFound = true;
    for (size_t i = static_cast<size_t>(header) + 1; i < text.lines.size(); ++i) {
        std::u16string line = text.Line(i);
        IniLine parsed = ParseIniLine(line);
        if (parsed.kind == IniLine::SECTION) break;
        if (parsed.kind != IniLine::ENTRY) continue;
        IniEntry entry;
        entry.name = AsWide(parsed.name);
        entry.value = AsWide(parsed.value);
        entry.bHasValue = parsed.bHasValue;
        section.entries.push_back(std::move(entry));
    }
    return true;
}

bool WriteIniSection(const wchar_t* szFile, const wchar_t* szSection,
                     const std::vector<std::pair<std::wstring, std::wstring>>& lines,
                     const std::function<bool(std::u16string_view)>& isOwned, DWORD* pdwError) {
    if (!szFile || !szSection) {
        if (pdwError) *pdwError = ERROR_INVALID_PARAMETER;
        return false;
    }
    IniText text;
    DWORD dwError = 0;
    if (!LoadText(szFile, text, &dwError)) {
        // A file that is not there is made; one that cannot be read is left alone.
        if (dwError != ERROR_FILE_NOT_FOUND) {
            if (pdwError) *pdwError = dwError;
            return false;
        }
        text = IniText();
    }
    std::u16string block;
    for (const auto& line : lines) {
        block += AsU16(line.first);
        block += u'=';
        block += IniValueToWrite(AsU16(line.second));
        block += u"\r\n";
    }
    const std::string encodedBlock = text.Encode(block), lineBreak = text.Encode(u"\r\n");

    std::string out;
    out.reserve(text.bytes.size() + encodedBlock.size());
    // Copies line i as it stands, with a line break where the file ended without one
    // and more follows.
    auto copyLine = [&](size_t i) {
        const LineSpan& span = text.lines[i];
        out.append(text.bytes, span.start, span.next - span.start);
        if (span.next == span.end) out += lineBreak;
    };
    const std::u16string name = SectionName(szSection);
    long header = FindSection(text, name);
    if (header < 0) {
        out.assign(text.bytes, 0, text.cbBom);
        for (size_t i = 0; i < text.lines.size(); ++i) copyLine(i);
        out += text.Encode(u"[" + std::u16string(AsU16(szSection)) + u"]\r\n");
        out += encodedBlock;
    } else {
        // The section's lines: which are owned keys, and where the block goes.
        size_t first = static_cast<size_t>(header) + 1, end = first;
        std::vector<char> owned;
        long firstOwned = -1, lastEntry = -1;
        for (; end < text.lines.size(); ++end) {
            std::u16string line = text.Line(end);
            IniLine parsed = ParseIniLine(line);
            if (parsed.kind == IniLine::SECTION) break;
            bool bOwned = parsed.kind == IniLine::ENTRY && isOwned(parsed.name);
            owned.push_back(bOwned ? 1 : 0);
            if (parsed.kind == IniLine::ENTRY) lastEntry = static_cast<long>(end);
            if (bOwned && firstOwned < 0) firstOwned = static_cast<long>(end);
        }
        const long insertAfter = firstOwned >= 0 ? -1 : (lastEntry >= 0 ? lastEntry : header);
        out.assign(text.bytes, 0, text.cbBom);
        for (size_t i = 0; i < first; ++i) copyLine(i);
        if (insertAfter == header) out += encodedBlock;
        for (size_t i = first; i < end; ++i) {
            if (static_cast<long>(i) == firstOwned) out += encodedBlock;
            if (owned[i - first]) continue;
            copyLine(i);
            if (static_cast<long>(i) == insertAfter) out += encodedBlock;
        }
        if (end < text.lines.size()) out.append(text.bytes, text.lines[end].start, std::string::npos);
    }
    return ReplaceWholeFile(szFile, out, pdwError);
}
