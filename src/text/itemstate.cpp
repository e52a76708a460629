#include "text/itemstate.h"

namespace {

const char c_szMagic[] = "Quillmere item state 1";
const char c_szEnd[] = "end ";
const size_t c_cchHash = 16;

// FNV-1a over bytes, then a final mix so that nearby inputs spread over all 64 bits.
uint64_t Fnv1a(uint64_t h, uint8_t b) {
    return (h ^ b) * 0x100000001B3ull;
}

uint64_t Mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

const uint64_t c_ullFnvBasis = 0xCBF29CE484222325ull;

uint64_t HashBytes(std::string_view bytes) {
    uint64_t h = c_ullFnvBasis;
    for (char c : bytes) h = Fnv1a(h, static_cast<uint8_t>(c));
    return Mix(h);
}

template <typename String>
void AppendHex(String& out, uint64_t value) {
    static const char c_szDigits[] = "0123456789abcdef";
    for (int shift = 60; shift >= 0; shift -= 4) out += c_szDigits[(value >> shift) & 0xF];
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly 16 lower-case hex digits, as the writer puts them.
bool ParseHash(std::string_view text, uint64_t* pValue) {
    if (text.size() != c_cchHash) return false;
    uint64_t value = 0;
    for (char c : text) {
        if ((c < '0' || c > '9') && (c < 'a' || c > 'f')) return false;
        value = (value << 4) | static_cast<uint64_t>(HexValue(c));
    }
    *pValue = value;
    return true;
}

bool IsPlain(char16_t c) {
    return c >= 0x20 && c <= 0x7E && c != u'%';
}

void AppendValue(std::string& out, std::u16string_view value) {
    for (char16_t c : value) {
        if (IsPlain(c)) {
            out += static_cast<char>(c);
            continue;
        }
        static const char c_szDigits[] = "0123456789ABCDEF";
        out += '%';
        for (int shift = 12; shift >= 0; shift -= 4) out += c_szDigits[(c >> shift) & 0xF];
    }
}

// A value as the writer wrote it, at most cchMax units; no NUL inside (the fields are
// copied as C strings), and with bHeader only what may go out in a request header.
bool ParseValue(std::string_view text, size_t cchMax, bool bHeader, std::u16string* pValue) {
    std::u16string value;
    for (size_t i = 0; i < text.size();) {
        if (value.size() >= cchMax) return false;
        char c = text[i];
        if (c != '%') {
            if (!IsPlain(static_cast<unsigned char>(c))) return false;
            value += static_cast<char16_t>(c);
            ++i;
            continue;
        }
        if (text.size() - i < 5) return false;
        unsigned int unit = 0;
        for (size_t k = 1; k <= 4; ++k) {
            int digit = HexValue(text[i + k]);
            if (digit < 0) return false;
            unit = (unit << 4) | static_cast<unsigned int>(digit);
        }
        // Only what the writer escapes comes escaped.
        if (unit == 0 || IsPlain(static_cast<char16_t>(unit))) return false;
        if (bHeader && (unit < 0x20 || unit > 0x7E)) return false;
        value += static_cast<char16_t>(unit);
        i += 5;
    }
    *pValue = std::move(value);
    return true;
}

// Seconds as the writer puts them: decimal digits without a sign or leading zero, at
// most 20 of them and within 64 bits.
bool ParseSeconds(std::string_view text, uint64_t* pValue) {
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    *pValue = value;
    return true;
}

// Reads the lines of the file one after the other.
class Lines {
public:
    explicit Lines(std::string_view text) : m_text(text) {}
    bool Next(std::string_view* pLine) {
        if (m_pos >= m_text.size()) return false;
        size_t end = m_text.find('\n', m_pos);
        if (end == std::string_view::npos) return false;
        *pLine = m_text.substr(m_pos, end - m_pos);
        m_pos = end + 1;
        return true;
    }
    // The next line, which must be "name value"; the value goes to *pValue.
    bool Field(std::string_view name, std::string_view* pValue) {
        std::string_view line;
        if (!Next(&line) || line.size() <= name.size() || line.compare(0, name.size(), name) != 0 ||
            line[name.size()] != ' ')
            return false;
        *pValue = line.substr(name.size() + 1);
        return true;
    }
    bool AtEnd() const { return m_pos == m_text.size(); }

private:
    std::string_view m_text;
    size_t m_pos = 0;
};

bool Fits(std::u16string_view value, size_t cchMax, bool bHeader) {
    if (value.size() > cchMax) return false;
    for (char16_t c : value)
        if (c == 0 || (bHeader && (c < 0x20 || c > 0x7E))) return false;
    return true;
}

void AppendField(std::string& out, const char* szName, std::u16string_view value, size_t cchMax, bool bHeader) {
    out += szName;
    out += ' ';
    if (Fits(value, cchMax, bHeader)) AppendValue(out, value);
    out += '\n';
}

bool ParseBody(std::string_view body, ItemState& out) {
    Lines lines(body);
    std::string_view line, value;
    if (!lines.Next(&line) || line != c_szMagic) return false;
    if (!lines.Field("url", &value) || !ParseValue(value, ITEM_STATE_MAX_URL, false, &out.url)) return false;
    if (!lines.Field("refreshed", &value) || !ParseSeconds(value, &out.ullRefreshed)) return false;
    if (!lines.Field("validators", &value) || !ParseValue(value, ITEM_STATE_MAX_URL, false, &out.validatorsUrl))
        return false;
    if (!lines.Field("etag", &value) || !ParseValue(value, ITEM_STATE_MAX_ETAG, true, &out.eTag)) return false;
    if (!lines.Field("last-modified", &value) ||
        !ParseValue(value, ITEM_STATE_MAX_LAST_MODIFIED, true, &out.lastModified))
        return false;
    while (lines.Next(&line)) {
        if (out.keys.size() >= ITEM_STATE_MAX_KEYS || line.empty() || (line[0] != '+' && line[0] != '=')) return false;
        ItemStateKey key;
        key.bNew = line[0] == '+';
        if (!ParseHash(line.substr(1), &key.key)) return false;
        out.keys.push_back(key);
    }
    return lines.AtEnd();
}

}  // namespace

uint64_t HashText(std::u16string_view text) {
    uint64_t h = c_ullFnvBasis;
    for (char16_t c : text) {
        h = Fnv1a(h, static_cast<uint8_t>(c & 0xFF));
        h = Fnv1a(h, static_cast<uint8_t>(c >> 8));
    }
    return Mix(h);
}

std::u16string ItemStateFileName(std::u16string_view url) {
    std::u16string name;
    AppendHex(name, HashText(url));
    return name + u".state";
}

std::string FormatItemState(const ItemState& state) {
    std::string out;
    out.reserve(256 + state.url.size() + state.validatorsUrl.size() + 18 * state.keys.size());
    out += c_szMagic;
    out += '\n';
    AppendField(out, "url", state.url, ITEM_STATE_MAX_URL, false);
    out += "refreshed " + std::to_string(state.ullRefreshed) + '\n';
    AppendField(out, "validators", state.validatorsUrl, ITEM_STATE_MAX_URL, false);
    AppendField(out, "etag", state.eTag, ITEM_STATE_MAX_ETAG, true);
    AppendField(out, "last-modified", state.lastModified, ITEM_STATE_MAX_LAST_MODIFIED, true);
    for (size_t i = 0; i < state.keys.size() && i < ITEM_STATE_MAX_KEYS; ++i) {
        out += state.keys[i].bNew ? '+' : '=';
        AppendHex(out, state.keys[i].key);
        out += '\n';
    }
    return SealItemState(std::move(out));
}

std::string SealItemState(std::string body) {
    uint64_t ullSum = HashBytes(body);
    body += c_szEnd;
    AppendHex(body, ullSum);
    body += '\n';
    return body;
}

bool ParseItemState(std::string_view bytes, ItemState& out) {
    out = ItemState();
    // The last line is the checksum of everything before it: a file cut anywhere, or
    // changed anywhere, ends otherwise.
    const size_t cchEndLine = sizeof(c_szEnd) - 1 + c_cchHash + 1;
    if (bytes.size() > ITEM_STATE_MAX_BYTES || bytes.size() < cchEndLine) return false;
    std::string_view body = bytes.substr(0, bytes.size() - cchEndLine);
    std::string_view endLine = bytes.substr(body.size());
    uint64_t ullSum = 0;
    if (endLine.compare(0, sizeof(c_szEnd) - 1, c_szEnd) != 0 || endLine.back() != '\n' ||
        !ParseHash(endLine.substr(sizeof(c_szEnd) - 1, c_cchHash), &ullSum) || ullSum != HashBytes(body))
        return false;
    ItemState state;
    if (!ParseBody(body, state)) return false;
    out = std::move(state);
    return true;
}
