#pragma once
// Move-only owners for the Windows handles the program holds, one type per kind.
#include <windows.h>

#include <objbase.h>

#include <utility>

namespace travik {

template <typename T, typename Traits>
class UniqueOwner {
 public:
  UniqueOwner() = default;
  explicit UniqueOwner(T value) : value_(value) {}
  ~UniqueOwner() { reset(); }
  UniqueOwner(UniqueOwner&& other) noexcept : value_(other.release()) {}
  UniqueOwner& operator=(UniqueOwner&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;

  [[nodiscard]] T get() const { return value_; }
  [[nodiscard]] explicit operator bool() const { return Traits::IsValid(value_); }
  T release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(T value = Traits::Invalid()) {
    if (Traits::IsValid(value_)) Traits::Free(value_);
    value_ = value;
  }
  // For APIs that hand the handle back through a pointer.
  T* put() {
    reset();
    return &value_;
  }

 private:
  T value_ = Traits::Invalid();
};

struct KernelHandleTraits {  // CreateFile, OpenProcessToken: INVALID_HANDLE_VALUE or null
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Free(HANDLE h) { CloseHandle(h); }
};
using UniqueHandle = UniqueOwner<HANDLE, KernelHandleTraits>;

struct SidTraits {
  static PSID Invalid() { return nullptr; }
  static bool IsValid(PSID s) { return s != nullptr; }
  static void Free(PSID s) { FreeSid(s); }
};
using UniqueSid = UniqueOwner<PSID, SidTraits>;

template <typename T>
struct GdiTraits {
  static T Invalid() { return nullptr; }
  static bool IsValid(T h) { return h != nullptr; }
  static void Free(T h) { DeleteObject(h); }
};
using UniqueFont = UniqueOwner<HFONT, GdiTraits<HFONT>>;
using UniqueBrush = UniqueOwner<HBRUSH, GdiTraits<HBRUSH>>;
using UniqueBitmap = UniqueOwner<HBITMAP, GdiTraits<HBITMAP>>;

struct IconTraits {
  static HICON Invalid() { return nullptr; }
  static bool IsValid(HICON h) { return h != nullptr; }
  static void Free(HICON h) { DestroyIcon(h); }
};
using UniqueIcon = UniqueOwner<HICON, IconTraits>;

struct WindowTraits {
  static HWND Invalid() { return nullptr; }
  static bool IsValid(HWND h) { return h != nullptr; }
  static void Free(HWND h) { DestroyWindow(h); }
};
using UniqueWindow = UniqueOwner<HWND, WindowTraits>;

struct LibraryTraits {
  static HMODULE Invalid() { return nullptr; }
  static bool IsValid(HMODULE h) { return h != nullptr; }
  static void Free(HMODULE h) { FreeLibrary(h); }
};
using UniqueLibrary = UniqueOwner<HMODULE, LibraryTraits>;

// A COM interface pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return p_; }
  [[nodiscard]] T* get() const { return p_; }
  T** put() {
    reset();
    return &p_;
  }
  void reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }

 private:
  T* p_ = nullptr;
};

// COM started on this thread for the object's lifetime (the picture decoder needs it).
class ComApartment {
 public:
  ComApartment()
      : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};

}  // namespace travik
