// Kernel handles and mapped views that the Windows link holds, closed with the objects that hold them.
#pragma once

#include <windows.h>

#include <utility>

namespace winlink {

// A kernel handle, closed with the object.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~Handle() { reset(); }
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void reset() {
    if (handle_ != nullptr)
      CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A view of a file mapping, unmapped with the object.
class MappedView {
 public:
  MappedView() = default;
  explicit MappedView(void* view) : view_(view) {}
  ~MappedView() {
    if (view_ != nullptr)
      UnmapViewOfFile(view_);
  }
  MappedView(MappedView&& other) noexcept : view_(std::exchange(other.view_, nullptr)) {}
  MappedView& operator=(MappedView&& other) noexcept {
    std::swap(view_, other.view_);
    return *this;
  }
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;

  void* get() const { return view_; }

 private:
  void* view_ = nullptr;
};

}  // namespace winlink
