// The MSXML 3 DOM objects the feed code uses, and the feed error that abandons a
// download. (The transfer itself runs on WinHTTP: feed/http.h.)
#pragma once
#include <windows.h>
#include <msxml2.h>
#include "core/unique.h"

namespace qm {

// Class and interface identifiers of MSXML 3 (public values).
const CLSID CLSID_DOMDocument30 = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID IID_XMLDOMDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID IID_XMLDOMNode = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID IID_XMLDOMNodeList = {0x2933BF82, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID IID_XMLDOMDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID IID_XMLDOMElement = {0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// A failed step of a download: carries the 32-bit code that "Invalid Exception (%d)"
// shows. The download's top-level handler catches it.
struct FeedError {
    HRESULT hr;
};

// Abandons the operation with hr when it is a failure code.
inline void CheckHr(HRESULT hr) {
    if (FAILED(hr)) throw FeedError{hr};
}

// Creates a COM object by class with every server context allowed, runs it and asks it
// for riid (how the documents are made).
HRESULT CreateRunningObject(const CLSID& clsid, const IID& riid, void** ppv);

// A new BSTR copy of sz; a failed allocation abandons the operation.
BSTR AllocBstr(const wchar_t* sz);

}  // namespace qm
