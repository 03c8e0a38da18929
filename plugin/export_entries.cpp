// The export side: the conversion setting and its persistence, the options panel inside the
// host's export dialog, the transform code for the host, and the TIFF writer.
#include <string>

#include "plugin/export_option_form.h"
#include "plugin/host_interface.h"
#include "plugin/pending_output.h"
#include "plugin/setting_store.h"
#include "writer/tiff_encoder.h"

// The most recent panel, exported as data under the name _ExportOptionForm. It is set to each
// new panel and kept after the panel is released, so it may name a panel that no longer exists.
extern "C" {
#if defined(_WIN32)
TExportOptionForm* ExportOptionForm = nullptr;  // exported through the .def file
#else
__attribute__((visibility("default")))
TExportOptionForm* ExportOptionForm __asm__("_ExportOptionForm") = nullptr;
#endif
}

namespace {

// The setting: 0 to 3 are meaningful, anything else can come only from the store.
int8_t transformMethod = 0;
[[maybe_unused]] void* ownerWindow = nullptr;
void* parentWindow = nullptr;
// The panel between EXPORT_EnterOption and EXPORT_LeaveOption; null otherwise.
TExportOptionForm* livePanel = nullptr;

bool PanelIsLive() {
  return livePanel != nullptr && TExportOptionForm::IsAlive(livePanel);
}

}  // namespace

PLUGIN_EXPORT void PLUGIN_CALL PLUGINCALLBACK(int32_t) {
  LoadStoredTransformMethod(transformMethod);
}

PLUGIN_EXPORT void PLUGIN_CALL PLUGOUTCALLBACK() {
  SaveStoredTransformMethod(transformMethod);
}

PLUGIN_EXPORT void PLUGIN_CALL EXPORT_InterfaceVersion(int32_t* version) {
  *version = kInterfaceVersion;
}

PLUGIN_EXPORT void PLUGIN_CALL EXPORT_SupportedExtensions(ExtensionSink sink) {
  sink("tif");
}

PLUGIN_EXPORT void PLUGIN_CALL EXPORT_EnterOption(void* owner, void* parent, int32_t) {
  ownerWindow = owner;  // the owner of top-level windows; the panel is a child and needs none
  parentWindow = parent;
  // A host that enters again without leaving gets the older panel released, not leaked.
  if (PanelIsLive()) livePanel->Release();
  livePanel = TExportOptionForm::Create(parentWindow);
  if (livePanel == nullptr) return;
  ExportOptionForm = livePanel;
  livePanel->SetSelectedIndex(transformMethod);  // the panel clamps to -1..3
}

PLUGIN_EXPORT void PLUGIN_CALL EXPORT_LeaveOption(int32_t accept) {
  if (!PanelIsLive()) {
    livePanel = nullptr;
    return;
  }
  if (accept != 0) {
    const int index = livePanel->SelectedIndex();
    if (index >= 0) transformMethod = static_cast<int8_t>(index);
  }
  livePanel->Release();
  livePanel = nullptr;
}

PLUGIN_EXPORT void PLUGIN_CALL EXPORT_BeforeTransform(int32_t* transformCode, int32_t) {
  // Full colour; full colour or 256 colours where possible; optimised 256 colours; the fixed
  // 256-colour Windows palette. Any other setting leaves the host's code as it was.
  static constexpr int32_t kCodes[4] = {1, 5, 9, 10};
  if (transformMethod >= 0 && transformMethod <= 3) *transformCode = kCodes[transformMethod];
}

// The file is written under a name of its own beside the target and takes the target's place
// only once it is complete, so a failed write (a full disk, a lost share) never costs the file
// that was there; a device or a FIFO is written straight through. A stop asked for by
// `progress` is no failure: the rows written so far replace the target, as they would have
// filled it.
PLUGIN_EXPORT int32_t PLUGIN_CALL EXPORT_WriteToFile(const char* fileName, const HostImage* image,
                                                     ProgressSink progress) {
  // A refused image does not touch the folder.
  if (!TTiffEncoder::CanWrite(image)) return 0;
  PendingOutput output(fileName != nullptr ? fileName : "");
  std::string reason;  // the host hears only the result
  if (!output.Create(reason)) return 0;
  TTiffEncoder encoder;
  encoder.progress = progress;
  return encoder.Encode(output.WritePath().c_str(), image) && output.Commit(reason) ? 1 : 0;
}
