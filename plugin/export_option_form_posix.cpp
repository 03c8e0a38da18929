// The export options panel without a window system: it keeps only the selection, so that the
// export side runs natively the same way as on Windows. Release takes effect at once.
#include <algorithm>
#include <new>
#include <vector>

#include "plugin/export_option_form.h"

namespace {

constexpr int kItemCount = 4;

// Panels created and not yet released; only pointer values are compared.
std::vector<const TExportOptionForm*> livePanels;

}  // namespace

TExportOptionForm* TExportOptionForm::Create(void* parentWindow) {
  if (parentWindow == nullptr) return nullptr;
  try {
    livePanels.reserve(livePanels.size() + 1);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  auto* form = new (std::nothrow) TExportOptionForm;
  if (form != nullptr) livePanels.push_back(form);
  return form;
}

int TExportOptionForm::SelectedIndex() const {
  return TIFConvMethodRG.selectedIndex;
}

void TExportOptionForm::SetSelectedIndex(int index) {
  TIFConvMethodRG.selectedIndex = std::clamp(index, -1, kItemCount - 1);
}

void TExportOptionForm::Release() {
  std::erase(livePanels, this);
  delete this;
}

bool TExportOptionForm::IsAlive(const TExportOptionForm* form) {
  return form != nullptr &&
         std::find(livePanels.begin(), livePanels.end(), form) != livePanels.end();
}
