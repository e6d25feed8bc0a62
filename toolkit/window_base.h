#pragma once
// The window-procedure base of every window class of the program: the object's `this` travels
// in CREATESTRUCT to WM_NCCREATE and lives in GWLP_USERDATA until WM_NCDESTROY; each message
// goes to the object's HandleMessage. No exception leaves the procedure: one that escapes a
// handler goes to OnUncaughtError and the message gets the default answer.
#include <windows.h>

#include <exception>

namespace travik {

template <typename Derived>
class WindowBase {
 public:
  [[nodiscard]] HWND Handle() const { return hwnd_; }

 protected:
  WindowBase() = default;
  // The window is destroyed by its owner (or with its parent) while the object still lives.
  ~WindowBase() = default;
  WindowBase(const WindowBase&) = delete;
  WindowBase& operator=(const WindowBase&) = delete;

  // Registers the class once per process.
  static bool Register(HINSTANCE instance, const wchar_t* class_name, HBRUSH background) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, class_name, &existing)) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WindowBase::Procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = class_name;
    return RegisterClassExW(&wc) != 0;
  }

  HWND CreateAs(const wchar_t* class_name, DWORD ex_style, const wchar_t* title, DWORD style,
                RECT bounds, HWND parent, int id, HINSTANCE instance) {
    return CreateWindowExW(ex_style, class_name, title, style, bounds.left, bounds.top,
                           bounds.right, bounds.bottom, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                           static_cast<Derived*>(this));
  }

  HWND hwnd_ = nullptr;

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) noexcept {
    if (message == WM_NCCREATE) {
      auto* created = reinterpret_cast<CREATESTRUCTW*>(l);
      auto* self = static_cast<Derived*>(created->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Derived*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, message, w, l);
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
      return DefWindowProcW(hwnd, message, w, l);
    }
    try {
      return self->HandleMessage(message, w, l);
    } catch (const std::exception& e) {
      self->OnUncaughtError(e.what());
    } catch (...) {
      self->OnUncaughtError("Unexpected error");
    }
    return DefWindowProcW(hwnd, message, w, l);
  }
};

}  // namespace travik
