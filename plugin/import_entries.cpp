// The import side: each entry point that names a file runs one read pass of its own decoder and
// hands the host a HostImage, the report text, or a yes/no.
#include <cstdlib>
#include <new>

#include "plugin/host_interface.h"
#include "plugin/texts.h"
#include "reader/tiff_decoder.h"

namespace {

// Runs a full read pass and wraps its result in a record from the plug-in's heap, or returns
// null when the file is refused or memory runs out.
HostImage* CreateHostImage(TTiffDecoder& decoder, const char* fileName) {
  if (!decoder.Decode(fileName)) return nullptr;
  auto* image = static_cast<HostImage*>(std::calloc(1, sizeof(HostImage)));
  uint32_t* palette = decoder.CopyPalette();
  if (image == nullptr || palette == nullptr) {
    std::free(image);
    std::free(palette);
    return nullptr;
  }
  image->kind = decoder.fullColour ? kFullColourImage : kPaletteImage;
  image->pixels = decoder.TakePixels();
  image->rowBytes = decoder.outRowBytes;
  image->width = decoder.outWidth;
  image->height = decoder.outHeight;
  image->palette = palette;
  image->paletteCount = decoder.paletteCount;
  return image;
}

}  // namespace

PLUGIN_EXPORT void PLUGIN_CALL IMPORT_InterfaceVersion(int32_t* version) {
  *version = kInterfaceVersion;
}

PLUGIN_EXPORT void PLUGIN_CALL IMPORT_SupportedExtensions(ExtensionSink sink) {
  sink("tif");
  sink("tiff");
}

PLUGIN_EXPORT int32_t PLUGIN_CALL IMPORT_ValidFileCheck(const char* fileName) {
  TTiffDecoder decoder;
  decoder.infoOnly = true;
  return decoder.Decode(fileName) ? 1 : 0;
}

PLUGIN_EXPORT void PLUGIN_CALL IMPORT_ImageInformation(const char* fileName, InfoSink sink) {
  TTiffDecoder decoder;
  decoder.infoOnly = true;
  if (decoder.Decode(fileName)) {
    sink(decoder.records.c_str());
  } else {
    sink(kErrorText);
  }
}

PLUGIN_EXPORT void PLUGIN_CALL IMPORT_CreateImage(const char* fileName, HostImage** out) {
  TTiffDecoder decoder;
  *out = CreateHostImage(decoder, fileName);
}

PLUGIN_EXPORT void PLUGIN_CALL IMPORT_CreatePreviewImage(const char* fileName, int32_t boxWidth,
                                                         int32_t boxHeight, HostImage** out) {
  TTiffDecoder decoder;
  decoder.preview = true;
  decoder.boxWidth = boxWidth;
  decoder.boxHeight = boxHeight;
  *out = CreateHostImage(decoder, fileName);
}

// The information pass that IMPORT_ValidFileCheck runs; the host still sees only the one error
// text, the reason is for tools that know this entry point.
PLUGIN_EXPORT void PLUGIN_CALL VARNELTIFF_RefusalReason(const char* fileName, InfoSink sink) {
  if (sink == nullptr) return;
  try {
    TTiffDecoder decoder;
    decoder.infoOnly = true;
    if (!decoder.Decode(fileName)) sink(decoder.RefusalReason().c_str());
  } catch (...) {
    // No exception may cross into the caller's frames: a text that does not fit is left out.
  }
}

PLUGIN_EXPORT void PLUGIN_CALL VARNELTIFF_ReadingNotes(const char* fileName, InfoSink sink) {
  if (sink == nullptr) return;
  try {
    TTiffDecoder decoder;
    decoder.infoOnly = true;
    if (!decoder.Decode(fileName)) return;
    for (const std::string& note : decoder.ReadingNotes()) sink(note.c_str());
  } catch (...) {
  }
}

PLUGIN_EXPORT void PLUGIN_CALL IMPORT_FreeImage(HostImage* image) {
  if (image == nullptr) return;
  std::free(image->pixels);
  std::free(image->palette);
  std::free(image);
}
