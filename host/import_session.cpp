#include "host/import_session.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/file_names.h"
#include "host/text_encoding.h"

namespace {

// InfoSink has no context argument: the text goes to the one capture running at the time.
std::string* capturedText = nullptr;

// The notes come one call each: they are kept apart with "; ".
void PLUGIN_CALL CaptureNote(const char* text) {
  try {
    if (capturedText == nullptr || text == nullptr) return;
    if (!capturedText->empty()) *capturedText += "; ";
    *capturedText += text;
  } catch (...) {
  }
}

// Nothing may be thrown back through the plug-in's frames: a text that does not fit in memory is
// left out.
void PLUGIN_CALL CaptureText(const char* text) {
  try {
    if (capturedText != nullptr && text != nullptr) *capturedText += text;
  } catch (...) {
  }
}

}  // namespace

bool ImportSideUsable(PluginLibrary& plugin, std::string& error) {
  int32_t version = 0;
  plugin.importInterfaceVersion(&version);
  if (version == kInterfaceVersion) return true;
  char text[64];
  std::snprintf(text, sizeof text, "import interface version 0x%X is not supported",
                static_cast<unsigned>(version));
  error = text;
  return false;
}

std::string ReadingNotes(PluginLibrary& plugin, const std::string& file) {
  std::string notes;
  if (plugin.readingNotes == nullptr) return notes;
  capturedText = &notes;
  plugin.readingNotes(file.c_str(), CaptureNote);
  capturedText = nullptr;
  return notes;
}

std::string ImageInformation(PluginLibrary& plugin, const std::string& file) {
  std::string text;
  capturedText = &text;
  plugin.imageInformation(file.c_str(), CaptureText);
  capturedText = nullptr;
  return text;
}

std::string RefusalReason(PluginLibrary& plugin, const std::string& file) {
  if (IsFolder(file)) return "is a folder, not a file";
  std::FILE* opened = std::fopen(file.c_str(), "rb");
  if (opened == nullptr) return std::strerror(errno);
  std::fclose(opened);
  std::string message = ShiftJisToTerminal(ImageInformation(plugin, file));
  std::string reason;
  if (plugin.refusalReason != nullptr) {
    capturedText = &reason;
    plugin.refusalReason(file.c_str(), CaptureText);
    capturedText = nullptr;
  }
  if (reason.empty()) return message.empty() ? "the plug-in cannot read this file" : message;
  return message.empty() ? reason : reason + " (" + message + ")";
}
