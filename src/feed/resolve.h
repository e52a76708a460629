// Relative addresses made absolute by the platform's URL rules.
#pragma once
#include <string>

// szRelative resolved against the absolute szBase by the platform's URL rules (dot
// segments removed, as UrlCombineW does); false when they cannot be combined.
bool CombineUrl(const wchar_t* szBase, const wchar_t* szRelative, std::wstring& out);
