#include "gui_test_support.h"

#include "platform/gb_figure.h"

namespace travik::test {

NetworkEndpoint RefusedEndpoint() {
  net::Listener listener = net::Listener::OnLoopback();
  return {"127.0.0.1", listener.Port()};
}

TravikSetup LoopbackSetup(const NetworkEndpoint& tcp, std::uint16_t ftp_port,
                          std::shared_ptr<Recorded> recorded) {
  TravikSetup setup = ProductSetup();
  for (NetworkEndpoint& e : setup.broadcast) e = tcp;
  for (NetworkEndpoint& e : setup.international) e = tcp;
  setup.ftp.host = "127.0.0.1";
  setup.ftp.port = ftp_port;
  setup.ftp.connect_timeout_ms = 2000;
  setup.ftp.read_timeout_ms = 2000;
  setup.os.major = 10;
  setup.os.build = 19045;
  setup.os.product_type = 1;
  setup.os.verified_workstation = true;
  setup.os.native_x64 = true;
  setup.total_memory = [] { return std::uint64_t{8} << 30; };
  setup.free_disk = [] { return std::int64_t{100} << 30; };
  setup.is_admin = [] { return true; };
  setup.decimal_separator = L".";
  setup.read_decimal_separator = [] { return std::wstring(L"."); };
  setup.quit_on_close = false;
  setup.error_box = [recorded](HWND, const std::wstring& text) {
    recorded->error_boxes.push_back(text);
  };
  setup.save_dialog = [recorded](HWND, const SaveDialogSettings& settings) {
    recorded->save_dialogs.push_back(settings);
    return recorded->save_answer;
  };
  return setup;
}

std::unique_ptr<TFrmTravik> OpenWindow(TravikSetup setup) {
  auto form = std::make_unique<TFrmTravik>(std::move(setup));
  if (!form->Create(GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE)) return nullptr;
  return form;
}

void Click(const TFrmTravik& form, TFrmTravik::Control control) {
  SendMessageW(form.ControlHandle(control), BM_CLICK, 0, 0);
}

std::vector<std::wstring> LogLines(const TFrmTravik& form) {
  std::vector<std::wstring> lines;
  for (const RichLog::ColouredLine& line : form.Log().Lines()) lines.push_back(line.text);
  return lines;
}

std::vector<std::wstring> RedLines(const TFrmTravik& form) {
  std::vector<std::wstring> lines;
  for (const RichLog::ColouredLine& line : form.Log().Lines()) {
    if (line.uniform && line.colour == RGB(255, 0, 0)) lines.push_back(line.text);
  }
  return lines;
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace travik::test
