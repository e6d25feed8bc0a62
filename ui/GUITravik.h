#pragma once
// TFrmTravik: the program's one window, a three-page wizard and a view of one check run. The
// run itself is the check core's, on a worker thread; the window shows its log as it comes,
// keeps the two issue lists when it ends, shows the verdict and exports the report.
#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "core/background_run.h"
#include "platform/win_handles.h"
#include "toolkit/banner.h"
#include "toolkit/palette.h"
#include "toolkit/rich_log.h"
#include "toolkit/scroll_box.h"
#include "toolkit/taskbar.h"
#include "toolkit/widgets.h"
#include "toolkit/window_base.h"
#include "ui/window_hooks.h"

namespace travik {

class TFrmTravik : public WindowBase<TFrmTravik> {
 public:
  TFrmTravik(core::RunInputs run, WindowHooks hooks);
  ~TFrmTravik();

  // Builds the window with its layout, runs FormCreate and shows it. False when it failed.
  bool Create(HINSTANCE instance, int show_command);

 private:
  friend class WindowBase<TFrmTravik>;
  LRESULT HandleMessage(UINT message, WPARAM w, LPARAM l);
  void OnUncaughtError(const char* what);

  // Event handlers.
  void FormCreate();
  void btnStartClick();
  void btnNextClick();
  void btnExportClick();
  void btnCloseClick();
  void OnCommand(int id, int code);

  // What the run has queued: its lines, then its result or its failure.
  void OnRunWake();
  void ShowRunLines(std::vector<core::RunEvent>::iterator first,
                    std::vector<core::RunEvent>::iterator last);
  void OnRunFinished(core::CheckResult result);
  void OnRunFailed(const std::string& failure);
  void EndRunOnScreen();
  void ReleaseRun();
  [[nodiscard]] bool Busy() const { return run_ != nullptr && !run_ended_; }

  // Layout and look.
  bool BuildLayout();
  bool CreateLog();
  void ApplyDpi(UINT dpi);
  void Layout();
  void ShowPage(int index);
  [[nodiscard]] int Scale(int pixels_at_96_dpi) const;
  [[nodiscard]] SIZE DesignedWindowSize() const;
  void PaintBanner(HDC dc, const RECT& strip) const;
  // High contrast read again after a change of the system's settings (or, `colours_changed`,
  // of its colours); the look follows it at once.
  void FollowSystemLook(bool colours_changed);
  // Every control in the palette's colours, repainted.
  void ApplyPalette();
  [[nodiscard]] RichLog::ScreenColours LogScreenColours() const;

  core::RunInputs inputs_;
  WindowHooks hooks_;
  HINSTANCE instance_ = nullptr;
  UINT dpi_ = 96;
  HWND last_focus_ = nullptr;  // the focused control when the window was last deactivated

  // Controls: the panels are objects of their own, the other controls are owned by the window
  // (destroyed with it).
  Panel nbPages;
  std::array<Panel, 3> pages_;
  Panel Image1;
  HWND Label1 = nullptr;
  HWND btnStart = nullptr;
  Panel Panel1;
  HWND btnNext = nullptr;
  RichLog mList;  // created when the check starts: the first page does not need it
  HWND Label2 = nullptr;
  ScrollBox ScrollBox1;  // shows lblResult above the buttons, scrolling a verdict that is longer
  HWND lblResult = nullptr;
  HWND btnExport = nullptr;
  HWND btnClose = nullptr;

  SaveDialogSettings SaveDialog1;
  std::vector<std::string> FError;           // impediments, from the run's result
  std::vector<std::string> FSecondaryError;  // secondary errors, from the run's result

  std::unique_ptr<core::BackgroundRun> run_;  // holds the probes' clients, IdFTP1 among them
  bool run_finished_ = false;                 // its result is in: the verdict can be shown
  bool run_ended_ = false;                    // its result or its failure is in
  std::unique_ptr<TaskbarProgress> taskbar_;

  bool high_contrast_;  // declared before the palette, which is made for it
  Palette palette_;
  UniqueFont font_, heading_font_;
  UniqueIcon icon_big_, icon_small_;
  UniqueLibrary rich_edit_library_;
  Picture banner_;
};

}  // namespace travik
