// JSON text for the tools that print what the docklet read.
#pragma once
#include <string>
#include <string_view>

// text as a JSON string literal in UTF-8, quotes included: '"', '\' and the control
// characters escaped, everything else as it is. An unpaired surrogate becomes U+FFFD,
// so the line stays valid UTF-8.
std::string JsonString(std::u16string_view text);
