// A document type declaration read as markup: how far it goes, whether a strict parser
// takes it, and whether it declares entities, the way to expansion bombs and to external
// entities that read local files.
#pragma once
#include <cstddef>
#include <string_view>

struct DocumentTypeRead {
    enum Status {
        WellFormed,  // ichEnd is past its '>'
        Malformed,   // ichEnd is where it first goes wrong, past its "<!"
        Cut,         // the text ends inside it; ichEnd is the end
    } status;
    size_t ichEnd;
    // Its internal subset declares an entity or refers to a parameter entity.
    bool bEntities;
    // Its internal subset cannot be read to its ']' as comments, processing instructions
    // and declarations of elements, attribute lists and notations.
    bool bUnreadSubset;
};

// Reads the declaration whose "<!DOCTYPE" starts at ich: "<!DOCTYPE", white space, a
// name, maybe an external identifier (SYSTEM and a literal, or PUBLIC and two), maybe an
// internal subset in brackets, and '>'. Keywords are recognised in any case, and only
// their upper-case form is well-formed. Bytes are read as ASCII: a byte above 0x7F
// counts as part of a name.
// With bPastErrors, where the part before the subset is not well-formed, the subset is
// still looked for (the first '[' or '>' outside quotes) and read, so that its entities
// are not missed. That look may run to the end of the text: a reader that reads on
// after a declaration that is not well-formed, and may meet many, passes false.
DocumentTypeRead ReadDocumentType(std::string_view s, size_t ich, bool bPastErrors);
DocumentTypeRead ReadDocumentType(std::u16string_view s, size_t ich, bool bPastErrors);
