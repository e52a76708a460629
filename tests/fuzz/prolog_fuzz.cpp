// The prolog checks that run before any parser sees a body: the byte-order mark, the XML
// declaration after white space, the charset to read in, the document type declaration
// and the entity check. Whatever the bytes, every position found lies inside them and in
// order, the charset agrees with the mark, the Content-Type and the UTF-8 check, and the
// byte and UTF-16 forms of each check agree on the same text.
#include "fuzz.h"
#include "text/declaration.h"
#include "text/doctype.h"
#include "text/header.h"
#include "text/prolog.h"
#include "text/utf8.h"

namespace {

void CheckSpan(size_t size, const XmlDeclarationSpan& span) {
    FUZZ_CHECK(span.ichText <= span.ichEnd && span.ichEnd <= size);
    if (!span.bFound) {
        FUZZ_CHECK(span.ichEnd == span.ichText);
        return;
    }
    FUZZ_CHECK(span.ichEnd - span.ichText <= 1024 + 2);
    if (span.cchValue == 0) return;
    FUZZ_CHECK(span.ichText < span.ichEncoding && span.ichEncoding < span.ichValue);
    FUZZ_CHECK(span.ichValue + span.cchValue < span.ichEncodingEnd && span.ichEncodingEnd <= span.ichEnd);
}

bool SameSpan(const XmlDeclarationSpan& a, const XmlDeclarationSpan& b) {
    return a.bFound == b.bFound && a.ichText == b.ichText && a.ichEnd == b.ichEnd && a.cchValue == b.cchValue &&
           (a.cchValue == 0 || (a.ichEncoding == b.ichEncoding && a.ichEncodingEnd == b.ichEncodingEnd &&
                                a.ichValue == b.ichValue));
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
    XmlDeclarationSpan bytesSpan{}, textSpan{};
    bool bBytesEntities = false, bTextEntities = false;
    BodyCharset charset;
    std::u16string parameter, toParse;
    DocumentTypeRead bytesDoctype{}, textDoctype{};
    const size_t ichDoctype = body.find("<!DOCTYPE");
    fuzz::WithinTimeBound(body.size(), [&] {
        mark = FindByteOrderMark(exactBody, &cbMark);
        bytesSpan = FindDeclarationAfterWhiteSpace(exactBody.view());
        textSpan = FindDeclarationAfterWhiteSpace(exactWidened.view());
        toParse = TextToParse(exactWidened);
        charset = ChooseBodyCharset(exactBody, exactType);
        bBytesEntities = PrologDeclaresEntities(exactBody.view());
        bTextEntities = PrologDeclaresEntities(exactWidened.view());
        parameter = CharsetParameter(exactType);
        if (ichDoctype != std::string::npos) {
            bytesDoctype = ReadDocumentType(exactBody.view(), ichDoctype, true);
            textDoctype = ReadDocumentType(exactWidened.view(), ichDoctype, true);
        }
    });

    FUZZ_CHECK(cbMark <= body.size() && (mark == ByteOrderMark::None) == (cbMark == 0) && cbMark <= 3);
    CheckSpan(body.size(), bytesSpan);
    CheckSpan(widened.size(), textSpan);
    FUZZ_CHECK(toParse.size() <= widened.size());
    if (textSpan.bFound && textSpan.ichEnd - textSpan.ichText >= 7)
        IsWellFormedXmlDeclaration(std::u16string_view(widened).substr(textSpan.ichText, textSpan.ichEnd - textSpan.ichText));
    // The two forms read the same ASCII text alike. (Beyond ASCII they may not: bytes
    // above 0x7F count as name characters, and "\xEF\xBB\xBF" is a mark as bytes only.)
    bool bAscii = true;
    for (char c : body) bAscii = bAscii && static_cast<uint8_t>(c) < 0x80;
    if (bAscii) {
        FUZZ_CHECK(SameSpan(bytesSpan, textSpan));
        FUZZ_CHECK(bBytesEntities == bTextEntities);
    }
    if (ichDoctype != std::string::npos) {
        if (bAscii)
            FUZZ_CHECK(bytesDoctype.status == textDoctype.status && bytesDoctype.ichEnd == textDoctype.ichEnd &&
                       bytesDoctype.bEntities == textDoctype.bEntities);
        FUZZ_CHECK(bytesDoctype.ichEnd > ichDoctype && bytesDoctype.ichEnd <= body.size());
        FUZZ_CHECK(textDoctype.ichEnd > ichDoctype && textDoctype.ichEnd <= body.size());
    }

    FUZZ_CHECK(charset.cbMark == cbMark);
    FUZZ_CHECK((charset.source == BodyCharset::MARK) == (cbMark > 0));
    if (charset.source == BodyCharset::HEADER) FUZZ_CHECK(charset.name == parameter);
    if (charset.kind == BodyCharset::CODE_PAGE) FUZZ_CHECK(charset.cp != 0);
    if (charset.kind == BodyCharset::BY_NAME) FUZZ_CHECK(!charset.name.empty());
    // UTF-8 that was only assumed or declared holds UTF-8 (or a last character cut short).
    if (charset.kind == BodyCharset::UTF8 && (charset.source == BodyCharset::DEFAULT || charset.source == BodyCharset::DECLARATION))
        FUZZ_CHECK(CheckUtf8(std::string_view(body).substr(cbMark)) != Utf8Form::Invalid);
    return 0;
}
