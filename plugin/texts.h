// The plug-in's own texts as the host receives them: zero-terminated Shift-JIS (code page 932).
#pragma once

extern const char kErrorText[81];  // the one message of the import side: 80 bytes and the zero
extern const char kDisplayName[];  // "VarnelTiff"
extern const char kCopyrightLine[];
extern const char kDescription[];          // eight lines, each ending in a line feed
extern const char kPanelCaption[];         // caption of the conversion-method group
extern const char* const kMethodTexts[4];  // the four conversion methods, setting 0 to 3
extern const char kPanelFontFace[];
