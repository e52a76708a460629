// The one way the docklet shows a message to the user. Tests and tools install a sink
// that receives the texts instead, so nobody has to click a box away.
#pragma once
#include <windows.h>
#include <string>

// Receives each message text; returns the button the box would have returned.
typedef int (*MessageSink)(const wchar_t* szText, UINT uType, void* pContext);

// Installs (or, with null, removes) the process-wide sink.
void SetMessageSink(MessageSink pfnSink, void* pContext);

// Shows szText in a box with the caption "Quillmere" owned by hwndOwner (may be null),
// or hands it to the sink. Returns the button chosen.
int ReportMessage(HWND hwndOwner, const wchar_t* szText, UINT uType = MB_OK);
// The same with a caption of its own, for questions such as "Delete Profile".
int ReportMessageCaption(HWND hwndOwner, const wchar_t* szText, const wchar_t* szCaption, UINT uType);

// printf-style convenience over ReportMessage with an OK button and no owner.
int ReportMessageF(HWND hwndOwner, const wchar_t* szFormat, ...);

// A message text made printf-style, cut at 2,047 characters as the boxes show them.
std::wstring FormatMessageText(const wchar_t* szFormat, ...);
