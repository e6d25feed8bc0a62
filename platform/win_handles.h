#pragma once
// Move-only owners for the Windows handles the program holds, one type per kind.
#include <windows.h>

#include <objbase.h>

#include <utility>

namespace travik {

// Owns one handle and releases it with `Free`. Null means no handle, and so does the all-ones
// value that CreateFile and its kin return on failure.
template <typename T, auto Free>
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
  [[nodiscard]] explicit operator bool() const { return IsValid(value_); }
  T release() { return std::exchange(value_, nullptr); }
  void reset(T value = nullptr) {
    if (IsValid(value_)) Free(value_);
    value_ = value;
  }
  // For APIs that hand the handle back through a pointer.
  T* put() {
    reset();
    return &value_;
  }

 private:
  static bool IsValid(T value) {
    return value != nullptr && value != reinterpret_cast<T>(static_cast<INT_PTR>(-1));
  }
  T value_ = nullptr;
};

using UniqueHandle = UniqueOwner<HANDLE, &CloseHandle>;
using UniqueSid = UniqueOwner<PSID, &FreeSid>;
using UniqueFont = UniqueOwner<HFONT, &DeleteObject>;
using UniqueBrush = UniqueOwner<HBRUSH, &DeleteObject>;
using UniqueBitmap = UniqueOwner<HBITMAP, &DeleteObject>;
using UniqueIcon = UniqueOwner<HICON, &DestroyIcon>;
using UniqueWindow = UniqueOwner<HWND, &DestroyWindow>;
using UniqueLibrary = UniqueOwner<HMODULE, &FreeLibrary>;
using UniqueLocal = UniqueOwner<HLOCAL, &LocalFree>;
using UniqueGlobal = UniqueOwner<HGLOBAL, &GlobalFree>;

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
