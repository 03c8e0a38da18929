// export: a PNG or BMP picture through the plug-in's export side, in the order a host calls it.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "host/commands.h"
#include "host/export_session.h"
#include "host/file_names.h"
#include "host/png_io.h"
#include "host/terminal.h"
#include "host/transforms.h"
#include "plugin/file_replacement.h"
#include "plugin/pending_output.h"

namespace {

// ProgressSink has no context argument: the bar of the one export running. One bar covers the
// whole export: decoding the picture up to 30%, the colour conversion up to 60%, the plug-in's
// rows the rest (shares near what each takes for a photo with median cut).
struct ExportProgress {
  ProgressLine* line = nullptr;
  std::string label;
  int64_t rows = 0;
  int shownPercent = -1;
};
ExportProgress exportProgress;
constexpr int kReadShare = 30;
constexpr int kConversionShare = 30;

void DrawBar(ExportProgress& progress, int percent) {
  if (progress.line == nullptr || !progress.line->Enabled()) return;
  if (percent == progress.shownPercent) return;
  progress.shownPercent = percent;
  constexpr int kBarWidth = 30;
  const int filled = percent * kBarWidth / 100;
  progress.line->Show(progress.label + " [" + std::string(filled, '#') +
                      std::string(kBarWidth - filled, '.') + "] " + std::to_string(percent) + "%");
}

// Called by the plug-in before each row. It never asks the plug-in to stop: a stopped export
// still puts the rows written so far in the target's place, a cut-off picture instead of the
// file that was there. An interrupt waits until the file is complete. Nothing may be thrown back
// through the plug-in's frames.
int32_t PLUGIN_CALL OnRow(int32_t row) {
  try {
    if (exportProgress.rows > 0) {
      const int64_t written = 100 - kReadShare - kConversionShare;
      DrawBar(exportProgress, kReadShare + kConversionShare +
                                  static_cast<int>(written * (row - 1) / exportProgress.rows));
    }
  } catch (...) {
    // A bar that cannot be drawn is no reason to stop the export.
  }
  return 0;
}

// The plug-in only says that it failed; the cause a user can mend at once is found afterwards,
// by the same rules the plug-in follows: the target's kind, then a new file beside it as the
// plug-in made one (no folder, no permission, a read-only disk), then the space the rows need.
std::string WriteFailureReason(const std::string& target, const HostImage& image) {
  std::string reason;
  {
    PendingOutput probe(target);  // removed again when it goes
    if (!probe.Create(reason)) return reason;
  }
  const uint64_t rowBytes = image.kind == kPaletteImage ? 1 : 3;
  const uint64_t pixelBytes = rowBytes * uint32_t(image.width) * uint32_t(image.height);
  if (FreeBytes(FolderName(target)) < pixelBytes) return std::strerror(ENOSPC);
  return "the plug-in could not write the file";
}

void OnReading(double done) {
  DrawBar(exportProgress, static_cast<int>(kReadShare * done));
}

void OnConversion(double done) {
  DrawBar(exportProgress, kReadShare + static_cast<int>(kConversionShare * done));
}

int ReportInterrupted() {
  std::fputs("varneltiff: interrupted\n", stderr);
  return kExitInterrupted;
}

}  // namespace

int RunExport(const Options& options, PluginLibrary& plugin) {
  const std::string& input = options.files.front();
  const std::string& target = options.output;
  std::string error;
  if (!ExportSideUsable(plugin, error)) {
    ReportFailure(plugin.Path(), error);
    return kExitFailure;
  }
  if (SameFile(input, target)) {
    ReportFailure(target, "is the input itself, which it would overwrite");
    return kExitFailure;
  }
  ProgressLine line(options.quiet);
  exportProgress = {&line, target, 0, -1};
  // However the export ends, the bar goes first, so that a last line stands alone.
  struct ClearOnReturn {
    ProgressLine& line;
    ~ClearOnReturn() {
      line.Clear();
      exportProgress = {};
    }
  } clear{line};
  DrawBar(exportProgress, 0);
  RgbImage picture;
  const bool read = ReadPicture(input, picture, OnReading, error);
  line.Clear();
  exportProgress.shownPercent = -1;
  if (Interrupted()) return ReportInterrupted();
  if (!read) {
    ReportFailure(input, error);
    return kExitFailure;
  }
  if (picture.transparent) {
    ReportWarning(input, "transparency dropped: the colours under transparent pixels show");
  }
  const std::string extension = ExtensionOf(target);
  if (!extension.empty() && extension != "tif" && extension != "tiff") {
    ReportWarning(target, "a TIFF file is written under a name ending in ." + extension);
  }

  const ExportSession session(plugin);
  // The plug-in leaves the code alone for a setting it does not know: full colour then.
  int32_t code = kKeepFullColour;
  if (options.method >= 0) {
    code = TransformCodeOfMethod(options.method);
  } else {
    plugin.beforeTransform(&code, 0);
  }
  ExportImage image;
  DrawBar(exportProgress, kReadShare);
  bool known = false;
  try {
    known = ApplyTransform(code, picture, image, OnConversion);
  } catch (const std::bad_alloc&) {
    line.Clear();
    ReportFailure(input, "not enough memory to convert a picture of " +
                             SizeText(picture.width, picture.height));
    return kExitFailure;
  }
  line.Clear();
  if (Interrupted()) return ReportInterrupted();
  if (!known) {
    ReportFailure(input, "the plug-in asked for transform " + std::to_string(code) +
                             ", which this host does not know");
    return kExitFailure;
  }

  // The plug-in writes beside the target and replaces it only with a complete file: a failed
  // export leaves the target as it was.
  exportProgress.rows = image.height;
  HostImage record = image.Record();
  const int32_t written = plugin.writeToFile(target.c_str(), &record, OnRow);
  line.Clear();
  if (written != 1) {
    // A stop that came while the plug-in waited on a FIFO or a pipe ended its write.
    if (Interrupted()) return ReportInterrupted();
    ReportFailure(target, WriteFailureReason(target, record));
    return kExitFailure;
  }
  // An interrupt during the writing took effect only now, with the new file complete.
  if (Interrupted()) return ReportInterrupted();
  return kExitSuccess;
}
