#include "toolkit/taskbar.h"

#include <shobjidl.h>

#include "platform/win_handles.h"

namespace travik {
namespace {

class SystemTaskbarProgress final : public TaskbarProgress {
 public:
  explicit SystemTaskbarProgress(ComPtr<ITaskbarList3> list) : list_(std::move(list)) {}
  void SetBusy(HWND window, bool busy) noexcept override {
    (void)list_->SetProgressState(window, busy ? TBPF_INDETERMINATE : TBPF_NOPROGRESS);
  }

 private:
  ComPtr<ITaskbarList3> list_;
};

}  // namespace

std::unique_ptr<TaskbarProgress> SystemTaskbar() {
  ComPtr<ITaskbarList3> list;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                              reinterpret_cast<void**>(list.put()))) ||
      list.get() == nullptr || FAILED(list->HrInit())) {
    return nullptr;
  }
  return std::make_unique<SystemTaskbarProgress>(std::move(list));
}

}  // namespace travik
