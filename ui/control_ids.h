#pragma once
// The control ids of the window's children (GetDlgCtrlID), as accessibility and test tools see
// them.
namespace travik::ids {

enum ControlId : int {
  kNbPages = 100,
  kPage0,  // "Splash"
  kPage1,  // "Analyze"
  kPage2,  // "Finished"
  kImage1,
  kLabel1,
  kBtnStart,
  kPanel1,
  kBtnNext,
  kMList,
  kLabel2,
  kLblResult,
  kBtnExport,
  kBtnClose,
  kScrollBox1,  // lblResult's scroll box
};

}  // namespace travik::ids
