// The export options panel: a borderless child window in the host's export dialog holding one
// group of four radio buttons, one per conversion method. Natively a headless stand-in.
#pragma once

class TExportOptionForm {
 public:
  // Builds the panel as a visible borderless child of `parentWindow` (an HWND), covering the
  // parent's client area and following its size. Null when the parent is null or not a window,
  // or when the panel cannot be built.
  static TExportOptionForm* Create(void* parentWindow);

  // The checked item of the radio group: -1 for none, else 0 to 3.
  int SelectedIndex() const;
  // Checks item `index`, clamped to -1 to 3 (-1 clears the group).
  void SetSelectedIndex(int index);

  // Posts the panel's private release message to its own window and returns at once; the
  // window and this object go when the owning thread's message loop dispatches it. The headless
  // stand-in frees the object at once.
  void Release();

  // True while `form` names a panel that has been created and not yet destroyed. Any pointer
  // may be passed, a freed one too: only its value is compared.
  static bool IsAlive(const TExportOptionForm* form);

  // The panel's own window (an HWND); null in the headless stand-in.
  void* Window() const { return window; }

  TExportOptionForm(const TExportOptionForm&) = delete;
  TExportOptionForm& operator=(const TExportOptionForm&) = delete;

 private:
  // The platform layer: window procedure, live-panel list and the like. Defined by each
  // platform's source file.
  struct Platform;

  // The radio group as the platform holds it: its frame and buttons on Windows, only the
  // selection in the stand-in.
  struct RadioGroup {
    void* frame = nullptr;
    void* buttons[4] = {};
    int selectedIndex = -1;
  };

  // Panels are made only by Create and freed only by their own release or window destruction.
  TExportOptionForm() = default;
  ~TExportOptionForm() = default;

  void* window = nullptr;
  void* font = nullptr;  // shared by the group and its buttons; deleted with the panel
  RadioGroup TIFConvMethodRG;
};
