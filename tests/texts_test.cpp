// The Shift-JIS texts the plug-in hands to the host, checked against glibc's own conversion of
// the same texts from UTF-8 (code page 932).
#include "plugin/texts.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>

namespace {

std::string ToCodePage932(const std::string& utf8) {
  iconv_t converter = iconv_open("CP932", "UTF-8");
  EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1));
  std::string input = utf8;
  std::string output(input.size() * 2 + 4, '\0');
  char* in = input.data();
  char* out = output.data();
  size_t inLeft = input.size(), outLeft = output.size();
  EXPECT_NE(iconv(converter, &in, &inLeft, &out, &outLeft), static_cast<size_t>(-1)) << utf8;
  iconv_close(converter);
  output.resize(output.size() - outLeft);
  return output;
}

struct Text {
  const char* actual;
  const char* utf8;
};

TEST(Texts, EveryTextIsExactShiftJis) {
  const Text texts[] = {
      {kErrorText,
       "サポートできないTiffフォーマット、もしくは、イメージファイルでは、ないようです。"},
      {kDisplayName, "VarnelTiff"},
      {kDescription,
       "PEXOR標準搭載のプラグイン。\n"
       "インテル&FM-"
       "TOWNSのTIFF形式（ラージエンディアン）のインポートとエクスポートをサポートする。\n"
       "\n"
       "使用上の制限、注意点など：\n"
       "\u30001) VarnelTIFFに対応しています(圧縮タイプ５の古いLZW圧縮に対応)。\n"
       "\u30002) 圧縮を使用していない標準のインテルヘッダ(IBM PC)のは、展開できます。\n"
       "  3) モトローラヘッダ(Machintosh)は、展開できません。\n"
       "\u30004) 最新のLZW高圧縮形式のものに関しては、サポートしていません。\n"},
      {kPanelCaption, "変換方式"},
      {kMethodTexts[0], "全てフルカラー"},
      {kMethodTexts[1], "フルカラー と 可能ならば、256色 を使う"},
      {kMethodTexts[2], "最適化 256色"},
      {kMethodTexts[3], "ウィンドウズパレット 256色 強制変換"},
      {kPanelFontFace, "ＭＳ Ｐゴシック"},
  };
  for (const Text& text : texts) {
    EXPECT_EQ(std::string(text.actual), ToCodePage932(text.utf8)) << text.utf8;
  }
}

TEST(Texts, ErrorTextIsEightyBytesAndItsZero) {
  EXPECT_EQ(std::strlen(kErrorText), 80u);
  EXPECT_EQ(sizeof kErrorText, 81u);
}

TEST(Texts, DescriptionHasEightLinesWithTheirLeadingSpaces) {
  std::string description(kDescription);
  std::string lines[8];
  size_t start = 0;
  for (std::string& line : lines) {
    const size_t end = description.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    line = description.substr(start, end - start);
    start = end + 1;
  }
  EXPECT_EQ(start, description.size());
  EXPECT_TRUE(lines[2].empty());
  for (int index : {4, 5, 7}) EXPECT_EQ(lines[index].substr(0, 2), "\x81\x40") << index;
  EXPECT_EQ(lines[6].substr(0, 3), "  3");
}

}  // namespace
