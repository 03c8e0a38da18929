// The Japanese literals live in this one file, which is compiled with -fexec-charset=CP932: the
// source stays UTF-8 and the object holds the exact Shift-JIS bytes the host expects.
#include "plugin/texts.h"

#include "varneltiff_version.h"

const char kErrorText[] =
    "サポートできないTiffフォーマット、もしくは、イメージファイルでは、ないようです。";

const char kDisplayName[] = "VarnelTiff";

// The project's copyright line, set beside its version (cmake/version.cmake); the version
// resources of the Windows files carry the same line.
const char kCopyrightLine[] = VARNELTIFF_COPYRIGHT;

// Lines 5, 6 and 8 start with an ideographic space (0x81 0x40), line 7 with two ASCII spaces.
const char kDescription[] =
    "PEXOR標準搭載のプラグイン。\n"
    "インテル&FM-TOWNSのTIFF形式（ラージエンディアン）のインポートとエクスポートをサポートする。\n"
    "\n"
    "使用上の制限、注意点など：\n"
    "　1) VarnelTIFFに対応しています(圧縮タイプ５の古いLZW圧縮に対応)。\n"
    "　2) 圧縮を使用していない標準のインテルヘッダ(IBM PC)のは、展開できます。\n"
    "  3) モトローラヘッダ(Machintosh)は、展開できません。\n"
    "　4) 最新のLZW高圧縮形式のものに関しては、サポートしていません。\n";

const char kPanelCaption[] = "変換方式";

const char* const kMethodTexts[4] = {
    "全てフルカラー",
    "フルカラー と 可能ならば、256色 を使う",
    "最適化 256色",
    "ウィンドウズパレット 256色 強制変換",
};

const char kPanelFontFace[] = "ＭＳ Ｐゴシック";
