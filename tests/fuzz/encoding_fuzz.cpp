// The encoding-label table: a label names the same encoding whatever its ASCII case and
// the white space around it, an encoding's own name is one of its labels, and the
// user-defined decoding gives one character a byte.
#include "fuzz.h"
#include "text/ascii.h"
#include "text/encoding.h"

namespace {

bool SameEncoding(const WebEncoding* a, const WebEncoding* b) {
    return a == b || (a && b && std::string_view(a->szName) == b->szName && a->cp == b->cp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = fuzz::Expand(fuzz::Bytes(data, size));
    const std::u16string label = fuzz::DecodeText(bytes);
    const fuzz::Exact exact(label);
    const WebEncoding* pFound = nullptr;
    std::u16string decoded;
    fuzz::WithinTimeBound(label.size() + bytes.size(), [&] {
        pFound = FindWebEncoding(exact);
        decoded = DecodeUserDefined(bytes);
    });

    // Other case, white space around: the same encoding.
    std::u16string upper(label);
    for (char16_t& c : upper)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    FUZZ_CHECK(SameEncoding(FindWebEncoding(upper), pFound));
    FUZZ_CHECK(SameEncoding(FindWebEncoding(u" \t\r\n\f" + label + u"\f\n\r\t "), pFound));
    // An encoding's name is a label of it, but for "replacement", which only stands for
    // the encodings it replaces.
    if (pFound && std::string_view(pFound->szName) != "replacement") {
        const std::string_view szName(pFound->szName);
        const std::u16string name(szName.begin(), szName.end());
        FUZZ_CHECK(AsciiLower(name) == name && SameEncoding(FindWebEncoding(name), pFound));
    }

    FUZZ_CHECK(decoded.size() == bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(bytes[i]);
        FUZZ_CHECK(decoded[i] == (b < 0x80 ? b : 0xF780 + (b - 0x80)));
    }
    return 0;
}
