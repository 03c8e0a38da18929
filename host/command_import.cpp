// import: TIFF files decoded by the plug-in and written as PNG, one after the other.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>

#include "host/commands.h"
#include "host/file_names.h"
#include "host/import_session.h"
#include "host/png_writer.h"
#include "host/terminal.h"
#include "plugin/file_replacement.h"
#include "plugin/pending_output.h"

namespace {

// Where each input goes: the one -o file, or DIR/NAME.png after the input's name.
std::vector<std::string> OutputPaths(const Options& options) {
  if (!options.output.empty()) return {options.output};
  std::vector<std::string> paths;
  for (const std::string& file : options.files) {
    paths.push_back(JoinPath(options.outputFolder, BaseName(file) + ".png"));
  }
  return paths;
}

// The record as the plug-in must hand it over; anything else is not drawn from.
bool RecordIsSound(const HostImage& image, std::string& error) {
  const bool palette = image.kind == kPaletteImage;
  if (!palette && image.kind != kFullColourImage) {
    error = "the plug-in gave an image of unknown kind " + std::to_string(image.kind);
    return false;
  }
  const int64_t width = image.width;
  const int64_t smallestRow = palette ? width : 4 * width;
  if (width < 1 || image.height < 1 || image.pixels == nullptr || image.palette == nullptr ||
      image.rowBytes < smallestRow) {
    error = "the plug-in gave an image without pixels";
    return false;
  }
  // TIFF sides are 16-bit numbers; anything larger is not an image the plug-in read.
  const uint64_t height = static_cast<uint32_t>(image.height);
  if (width > 65535 || height > 65535 || 3 * static_cast<uint64_t>(width) * height > SIZE_MAX) {
    error = "the plug-in gave an image too large to convert";
    return false;
  }
  return true;
}

// One row of the image as PNG pixels: RGB, or one grey byte per index when `indices` is asked
// for (a palette image only).
void ToPngRow(const HostImage& image, int32_t y, bool indices, uint8_t* out) {
  const bool palette = image.kind == kPaletteImage;
  const size_t width = static_cast<size_t>(image.width);
  const uint8_t* row = image.pixels + static_cast<size_t>(y) * static_cast<size_t>(image.rowBytes);
  if (indices) {
    std::memcpy(out, row, width);
    return;
  }
  // Only the first paletteCount entries mean anything; an index past them shows black.
  const uint32_t meaningful =
      static_cast<uint32_t>(std::min<int64_t>(std::max<int64_t>(image.paletteCount, 0), 256));
  for (size_t x = 0; x < width; ++x) {
    uint32_t colour = 0;
    if (palette) {
      colour = row[x] < meaningful ? image.palette[row[x]] : 0;
    } else {
      const uint8_t* pixel = row + 4 * x;  // blue, green, red, unused
      colour = uint32_t{pixel[2]} << 16 | uint32_t{pixel[1]} << 8 | pixel[0];
    }
    *out++ = static_cast<uint8_t>(colour >> 16);
    *out++ = static_cast<uint8_t>(colour >> 8);
    *out++ = static_cast<uint8_t>(colour);
  }
}

// The image as a PNG file, a row at a time: the only copy of the picture is the plug-in's.
bool WritePngFile(const HostImage& image, bool indices, const std::string& path,
                  std::string& error) {
  const int channels = indices ? 1 : 3;
  std::vector<uint8_t> row(static_cast<size_t>(image.width) * channels);
  PngWriter writer;
  bool written = writer.Begin(path, image.width, image.height, channels);
  for (int32_t y = 0; written && y < image.height && !Interrupted(); ++y) {
    ToPngRow(image, y, indices, row.data());
    written = writer.WriteRow(row.data());
  }
  if (Interrupted()) return false;  // the caller reports the stop
  written = written && writer.Finish();
  if (!written) error = writer.Error();
  return written;
}

// False with the file the failure is about (the input or the output) and the reason.
bool ImportOne(const Options& options, PluginLibrary& plugin, const std::string& file,
               const std::string& target, std::string& subject, std::string& error) {
  subject = file;
  if (plugin.validFileCheck(file.c_str()) != 1) {
    error = RefusalReason(plugin, file);
    return false;
  }
  HostImage* record = nullptr;
  if (options.preview) {
    plugin.createPreviewImage(file.c_str(), options.previewWidth, options.previewHeight, &record);
  } else {
    plugin.createImage(file.c_str(), &record);
  }
  const ImportedImage image(plugin, record);
  if (record == nullptr) {
    // The file passed the quick check; the full read says what stopped it (memory, most often).
    error = RefusalReason(plugin, file);
    return false;
  }
  if (!RecordIsSound(*record, error)) return false;
  if (options.indices && record->kind != kPaletteImage) {
    error = "--index needs a palette image; this one is full colour";
    return false;
  }
  subject = target;
  PendingOutput output(target);
  if (!output.Create(error) || !WritePngFile(*record, options.indices, output.WritePath(), error)) {
    return false;
  }
  if (Interrupted()) return false;  // the output goes with `output`; the caller reports the stop
  return output.Commit(error);
}

}  // namespace

int RunImport(const Options& options, PluginLibrary& plugin) {
  std::string error;
  if (!ImportSideUsable(plugin, error)) {
    ReportFailure(plugin.Path(), error);
    return kExitFailure;
  }
  const std::vector<std::string> targets = OutputPaths(options);
  std::map<std::string, std::string> sourceOfTarget;
  for (size_t i = 0; i < targets.size(); ++i) {
    const auto [found, added] = sourceOfTarget.emplace(targets[i], options.files[i]);
    if (!added) {
      std::fprintf(stderr, "varneltiff: %s and %s would both be written to %s\n",
                   found->second.c_str(), options.files[i].c_str(), targets[i].c_str());
      return kExitUsage;
    }
    if (SameFile(options.files[i], targets[i])) {
      ReportFailure(targets[i], "is the input itself, which it would overwrite");
      return kExitFailure;
    }
  }
  if (!options.outputFolder.empty()) {
    if (!MakeFolders(options.outputFolder, error)) {
      ReportFailure(options.outputFolder, error);
      return kExitFailure;
    }
  }

  const std::string extension = ExtensionOf(options.output);
  if (!extension.empty() && extension != "png") {
    ReportWarning(options.output, "a PNG file is written under a name ending in ." + extension);
  }

  ProgressLine progress(options.quiet);
  size_t refused = 0;
  const size_t count = options.files.size();
  for (size_t i = 0; i < count && !Interrupted(); ++i) {
    const std::string& file = options.files[i];
    char counter[48];
    std::snprintf(counter, sizeof counter, "[%zu/%zu, %zu%%] ", i + 1, count, 100 * i / count);
    progress.Show(counter + file);
    std::string subject;
    if (!ImportOne(options, plugin, file, targets[i], subject, error) && !Interrupted()) {
      progress.Clear();
      ReportFailure(subject, error);
      ++refused;
    }
  }
  progress.Clear();
  if (Interrupted()) {
    std::fputs("varneltiff: interrupted\n", stderr);
    return kExitInterrupted;
  }
  // A batch ends with its count; -q keeps it only when something was refused.
  if (count > 1 && (!options.quiet || refused > 0)) {
    std::fprintf(stderr, "varneltiff: %zu converted, %zu refused\n", count - refused, refused);
  }
  return refused == 0 ? kExitSuccess : kExitFailure;
}
