// The plug-in's texts are Shift-JIS (code page 932); the terminal shows UTF-8 on Linux and the
// console's code page on Windows.
#pragma once

#include <string>

// The text in the terminal's encoding. Bytes that are not Shift-JIS come out as '?'.
std::string ShiftJisToTerminal(const std::string& text);
