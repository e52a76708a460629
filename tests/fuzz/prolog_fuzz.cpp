// The prolog checks that run before any parser sees a body: the byte-order mark, the
// declared encoding, the charset to read in and the entity check. Whatever the bytes,
// every position found lies inside them, a name is a charset name, and the byte and
// UTF-16 forms of each check agree on the same text.
#include "fuzz.h"
#include "text/header.h"
#include "text/prolog.h"

namespace {

void CheckDeclared(size_t size, bool bFound, const DeclaredEncoding& found) {
    if (!bFound) return;
    FUZZ_CHECK(found.start < found.value && found.value <= found.valueEnd && found.valueEnd < found.end);
    FUZZ_CHECK(found.end <= size && found.end <= 1024);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A Content-Type line, then the body's bytes.
    const auto fields = fuzz::Fields(fuzz::Bytes(data, size), 2);
    const std::u16string contentType = fuzz::DecodeText(fields[0]);
    const std::string body = fuzz::Expand(fields[1]);
    // The same body read as if each byte were one character.
    std::u16string widened(body.size(), u'\0');
    for (size_t i = 0; i < body.size(); ++i) widened[i] = static_cast<uint8_t>(body[i]);

    const fuzz::ExactBytes exactBody(body);
    const fuzz::Exact exactWidened(widened), exactType(contentType);
    size_t cbMark = 99;
    ByteOrderMark mark = ByteOrderMark::None;
    DeclaredEncoding bytesFound, textFound;
    bool bBytesFound = false, bTextFound = false, bBytesEntities = false, bTextEntities = false;
    BodyCharset charset;
    std::u16string parameter;
    fuzz::WithinTimeBound(body.size(), [&] {
        mark = FindByteOrderMark(exactBody, &cbMark);
        bBytesFound = FindDeclaredEncoding(exactBody.view(), &bytesFound);
        bTextFound = FindDeclaredEncoding(exactWidened.view(), &textFound);
        charset = ChooseBodyCharset(exactBody, exactType);
        bBytesEntities = PrologDeclaresEntities(exactBody.view());
        bTextEntities = PrologDeclaresEntities(exactWidened.view());
        parameter = CharsetParameter(exactType);
    });

    FUZZ_CHECK(cbMark <= body.size() && (mark == ByteOrderMark::None) == (cbMark == 0) && cbMark <= 3);
    CheckDeclared(body.size(), bBytesFound, bytesFound);
    CheckDeclared(widened.size(), bTextFound, textFound);
    FUZZ_CHECK(bBytesFound == bTextFound);
    if (bBytesFound)
        FUZZ_CHECK(bytesFound.start == textFound.start && bytesFound.end == textFound.end &&
                   bytesFound.value == textFound.value && bytesFound.valueEnd == textFound.valueEnd);
    // A body that starts with "\xEF\xBB\xBF" widens to three characters, not U+FEFF, so
    // the two forms are compared on bodies without one.
    if (mark != ByteOrderMark::Utf8) FUZZ_CHECK(bBytesEntities == bTextEntities);

    FUZZ_CHECK(charset.cbMark == cbMark);
    // A name comes from the Content-Type or from the declaration, whole.
    if (charset.kind == BodyCharset::NAMED)
        FUZZ_CHECK(charset.name == parameter ||
                   (parameter.empty() && bBytesFound && charset.name.size() == bytesFound.valueEnd - bytesFound.value));
    if (!parameter.empty()) FUZZ_CHECK(parameter.size() <= contentType.size());
    return 0;
}
