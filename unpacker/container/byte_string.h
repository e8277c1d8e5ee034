// Small owned containers for the portable core.
//
// The core is linked into the self-extracting stub, which must stay small: it avoids the
// standard library's containers (their exception paths pull in much of the C++ runtime) and
// uses these two instead. An allocation failure ends the process; these hold a few names and
// attributes, and a machine that cannot give a few bytes cannot extract anything either.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

// A byte string in some code page: not necessarily NUL-free, but always NUL-terminated.
class ByteString {
 public:
  ByteString() = default;
  ByteString(const char* text);  // up to the first NUL; null is the empty string
  ByteString(const char* bytes, uint32_t length);
  ByteString(const ByteString& other);
  ByteString(ByteString&& other) noexcept;
  ByteString& operator=(const ByteString& other);
  ByteString& operator=(ByteString&& other) noexcept;
  ~ByteString();

  const char* c_str() const { return data_ ? data_ : ""; }
  uint32_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  char operator[](uint32_t i) const { return data_[i]; }

  void Append(const char* bytes, uint32_t length);
  void Append(const char* text);
  void Append(const ByteString& other) { Append(other.data_, other.size_); }
  void Clear();

  // The first n bytes (all when n is larger), and the bytes from index `from` on.
  ByteString Left(uint32_t n) const;
  ByteString Mid(uint32_t from) const;

  bool operator==(const ByteString& other) const;

 private:
  void Reserve(uint32_t capacity);

  char* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ = 0;
};

// Ends the process after an allocation failure, with the exit code for "not enough memory".
[[noreturn]] void FatalOutOfMemory();

// A resizable array of plain records (bytes that may be copied and zeroed) whose new elements
// are all zero.
template <typename T>
class ZeroedArray {
 public:
  ZeroedArray() = default;
  ZeroedArray(const ZeroedArray&) = delete;
  ZeroedArray& operator=(const ZeroedArray&) = delete;
  ~ZeroedArray() { std::free(data_); }

  // Keeps the first min(old, new) elements; new elements are zero.
  void SetLength(uint32_t length) {
    if (length == size_) return;
    if (length == 0) {
      std::free(data_);
      data_ = nullptr;
      size_ = 0;
      return;
    }
    if (length > 0x7FFFFFFFu / sizeof(T)) FatalOutOfMemory();
    T* data = static_cast<T*>(std::realloc(data_, size_t(length) * sizeof(T)));
    if (!data) FatalOutOfMemory();
    if (length > size_)
      std::memset(static_cast<void*>(data + size_), 0, (length - size_) * sizeof(T));
    data_ = data;
    size_ = length;
  }
  uint32_t size() const { return size_; }
  T& operator[](uint32_t i) { return data_[i]; }
  const T& operator[](uint32_t i) const { return data_[i]; }

 private:
  T* data_ = nullptr;
  uint32_t size_ = 0;
};

using UInt32Array = ZeroedArray<uint32_t>;
