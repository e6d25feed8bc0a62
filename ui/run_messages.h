#pragma once
// How a check run on its worker thread reaches the window: each log operation, and at the end
// the result, as a posted message that owns its data (freed by the receiver, or by the sender
// when the window is gone and the post fails).
#include <windows.h>

#include <memory>
#include <string>

#include "core/background_run.h"

namespace travik {

inline constexpr UINT kMsgRunLog = WM_APP + 1;       // lParam: LogOperation*
inline constexpr UINT kMsgRunFinished = WM_APP + 2;  // lParam: core::CheckResult*

struct LogOperation {
  enum class Kind { kClear, kAppend, kReplaceLast };
  Kind kind = Kind::kAppend;
  std::wstring text;
  bool issue = false;
};

class WindowRunListener final : public core::RunListener {
 public:
  explicit WindowRunListener(HWND window) : window_(window) {}
  void Clear() override;
  void Append(const core::LogLine& line) override;
  void ReplaceLast(const core::LogLine& line) override;
  void Finished(core::CheckResult result) override;

 private:
  template <typename T>
  void Post(UINT message, std::unique_ptr<T> data) {
    if (PostMessageW(window_, message, 0, reinterpret_cast<LPARAM>(data.get()))) {
      (void)data.release();  // the window owns it now
    }
  }
  HWND window_;
};

// Takes back the data of a run message.
template <typename T>
[[nodiscard]] std::unique_ptr<T> TakeMessageData(LPARAM l) {
  return std::unique_ptr<T>(reinterpret_cast<T*>(l));
}

}  // namespace travik
