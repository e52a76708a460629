// What every fuzz target shares: the input as the text functions take it, a way for a
// short input to stand for a long one, the time bound, and the check that ends a run.
//
// A text that starts with "@@repeat\n" is "@@repeat\nHEAD\nUNIT\nTAIL": it stands for
// HEAD, then UNIT repeated until the whole is about 256 KB (Expansion), then TAIL. Another character
// than the line feed after "@@repeat" separates the three instead, so a unit may hold
// line breaks. So a pattern that
// is cheap once and costly in bulk (a tag with a hundred thousand attributes, a run of
// references) is found and replayed from a seed of a few bytes; a linear scan of it takes
// a few milliseconds, a quadratic one seconds.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// Ends the run with a finding when cond is false.
#define FUZZ_CHECK(cond)                                                                 \
    do {                                                                                 \
        if (!(cond)) {                                                                   \
            std::fprintf(stderr, "fuzz: %s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                \
        }                                                                                \
    } while (0)

// How "@@repeat" texts are expanded. By default (a corpus replayed) each to 256 KB, so a
// quadratic path of a known shape takes seconds. While fuzzing QM_FUZZ_EXPAND_KB sets a
// smaller size, and only one such text in four (by a hash of its bytes, so a finding
// replays the same) is expanded: the fuzzer keeps trying long shapes without spending
// most of its time on them.
struct ExpandRule {
    size_t cb = 256 * 1024;
    bool bSample = false;
};
inline const ExpandRule& Expansion() {
    static const ExpandRule s_rule = [] {
        ExpandRule rule;
        const char* sz = std::getenv("QM_FUZZ_EXPAND_KB");
        long kb = sz ? std::atol(sz) : 0;
        if (kb > 0 && kb <= 1024) {
            rule.cb = static_cast<size_t>(kb) * 1024;
            rule.bSample = true;
        }
        return rule;
    }();
    return s_rule;
}

inline bool SampledForExpansion(std::string_view in) {
    uint32_t hash = 2166136261u;
    for (char c : in) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    return hash % 4 == 0;
}

// The input's bytes.
inline std::string_view Bytes(const uint8_t* data, size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// in, expanded when it is a "@@repeat" text. A target of several fields expands its
// last, the one that may be long.
inline std::string Expand(std::string_view in) {
    const std::string_view marker = "@@repeat";
    if (in.size() <= marker.size() || in.substr(0, marker.size()) != marker) return std::string(in);
    const char separator = in[marker.size()];
    in.remove_prefix(marker.size() + 1);
    size_t headEnd = in.find(separator);
    size_t unitEnd = headEnd == in.npos ? in.npos : in.find(separator, headEnd + 1);
    if (unitEnd == in.npos) return std::string(in);
    std::string_view head = in.substr(0, headEnd), unit = in.substr(headEnd + 1, unitEnd - headEnd - 1),
                     tail = in.substr(unitEnd + 1);
    const ExpandRule& rule = Expansion();
    std::string out(head);
    if (!unit.empty() && (!rule.bSample || SampledForExpansion(in))) {
        out.reserve(rule.cb + unit.size() + tail.size());
        while (out.size() < rule.cb) out += unit;
    } else {
        out += unit;
    }
    out += tail;
    return out;
}

// Bytes as UTF-16 text: UTF-8 where it is UTF-8 (surrogates written in its three-byte
// form included, so a seed can hold an unpaired one), and any other byte as the unit of
// the same value, so every sequence of units can be reached and a seed stays readable.
inline std::u16string DecodeText(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    const size_t n = bytes.size();
    auto cont = [&](size_t i) { return i < n && (static_cast<uint8_t>(bytes[i]) & 0xC0) == 0x80; };
    for (size_t i = 0; i < n;) {
        const uint8_t b = static_cast<uint8_t>(bytes[i]);
        uint32_t c = b;
        size_t len = 1;
        if (b >= 0xC2 && b <= 0xDF && cont(i + 1)) {
            c = ((b & 0x1Fu) << 6) | (bytes[i + 1] & 0x3Fu);
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF && cont(i + 1) && cont(i + 2)) {
            c = ((b & 0x0Fu) << 12) | ((bytes[i + 1] & 0x3Fu) << 6) | (bytes[i + 2] & 0x3Fu);
            len = c >= 0x800 ? 3 : 1;
            if (len == 1) c = b;
        } else if (b >= 0xF0 && b <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            c = ((b & 0x07u) << 18) | ((bytes[i + 1] & 0x3Fu) << 12) | ((bytes[i + 2] & 0x3Fu) << 6) |
                (bytes[i + 3] & 0x3Fu);
            len = c >= 0x10000 && c <= 0x10FFFF ? 4 : 1;
            if (len == 1) c = b;
        }
        i += len;
        if (c > 0xFFFF) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

// A text in a heap block of exactly its length, so a read one past its end is caught
// by AddressSanitizer: a std::u16string always has its terminator there.
template <typename Ch>
class ExactOf {
public:
    explicit ExactOf(std::basic_string_view<Ch> text) : m_p(new Ch[text.size() ? text.size() : 1]), m_cch(text.size()) {
        std::copy(text.begin(), text.end(), m_p.get());
    }
    operator std::basic_string_view<Ch>() const { return {m_p.get(), m_cch}; }
    std::basic_string_view<Ch> view() const { return *this; }

private:
    std::unique_ptr<Ch[]> m_p;
    size_t m_cch;
};
using Exact = ExactOf<char16_t>;
using ExactBytes = ExactOf<char>;

// The input cut at its first n - 1 line feeds: the fields of a target that takes several
// texts (a header's value and a body, say). Missing fields are empty; the last holds
// the rest.
inline std::vector<std::string_view> Fields(std::string_view text, size_t n) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    for (size_t i = 0; i + 1 < n; ++i) {
        size_t end = text.find('\n', pos);
        if (end == text.npos) end = text.size();
        fields.push_back(text.substr(pos, end - pos));
        pos = end < text.size() ? end + 1 : end;
    }
    fields.push_back(text.substr(pos));
    return fields;
}

// The time an input may take: 20 ms and 1.5 microseconds a unit, about 0.4 s for an
// input expanded to 256 KB. A linear scan stays well under it even here, where every
// comparison also reports to the fuzzer and the sanitizers check every access (up to a
// few hundred ns a unit on a busy machine); a quadratic one of an expanded input takes
// many times longer. A run over the bound is tried twice more before it counts, so a
// moment of a busy machine is no finding.
inline double TimeBoundMs(size_t cUnits) {
    return 20.0 + 1.5 * static_cast<double>(cUnits) / 1000.0;
}

template <typename F>
void WithinTimeBound(size_t cUnits, F&& run) {
    const double boundMs = TimeBoundMs(cUnits);
    double bestMs = 0;
    for (int iTry = 0; iTry < 3; ++iTry) {
        auto start = std::chrono::steady_clock::now();
        run();
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (iTry == 0 || ms < bestMs) bestMs = ms;
        if (bestMs <= boundMs) return;
        if (bestMs > 4 * boundMs && bestMs > 2000) break;  // no busy moment explains that
    }
    std::fprintf(stderr, "fuzz: %zu units took %.1f ms, over the bound of %.1f ms: not linear\n", cUnits, bestMs,
                 boundMs);
    std::abort();
}

}  // namespace fuzz
