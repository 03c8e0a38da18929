#include "host/text_encoding.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <vector>

namespace {

// ASCII with everything else as '?': what is left when no conversion is possible at all.
std::string AsciiOnly(const std::string& text) {
  std::string ascii = text;
  for (char& c : ascii) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return ascii;
}

}  // namespace

#if defined(_WIN32)

std::string ShiftJisToTerminal(const std::string& text) {
  if (text.empty()) return text;
  constexpr UINT kShiftJis = 932;
  const int size = static_cast<int>(text.size());
  const int wideLength = MultiByteToWideChar(kShiftJis, 0, text.data(), size, nullptr, 0);
  if (wideLength <= 0) return AsciiOnly(text);
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(kShiftJis, 0, text.data(), size, wide.data(), wideLength);
  UINT codePage = GetConsoleOutputCP();
  if (codePage == 0) codePage = GetACP();  // no console: the system's ANSI code page
  const int length =
      WideCharToMultiByte(codePage, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return AsciiOnly(text);
  std::string converted(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), wideLength, converted.data(), length, nullptr,
                      nullptr);
  return converted;
}

#else

std::string ShiftJisToTerminal(const std::string& text) {
  // CP932 rather than SHIFT_JIS: the Windows code page, with its extra characters.
  iconv_t converter = iconv_open("UTF-8", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) return AsciiOnly(text);
  std::string converted;
  std::vector<char> buffer(4 * text.size() + 16);
  std::string input = text;
  char* in = input.data();
  size_t inLeft = input.size();
  while (inLeft > 0) {
    char* out = buffer.data();
    size_t outLeft = buffer.size();
    const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    converted.append(buffer.data(), static_cast<size_t>(out - buffer.data()));
    if (result == static_cast<size_t>(-1) && inLeft > 0 && out == buffer.data()) {
      // An invalid or cut-off sequence: show one '?' and go on after its first byte.
      converted += '?';
      ++in;
      --inLeft;
    }
  }
  iconv_close(converter);
  return converted;
}

#endif
