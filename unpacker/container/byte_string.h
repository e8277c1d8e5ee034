// Small owned containers for the portable core.
//
// The core is linked into the self-extracting stub, which must stay small: it avoids the
// standard library's containers (their exception paths pull in much of the C++ runtime) and
// uses these two instead. An allocation failure ends the process; these hold a few names and
// attributes, and a machine that cannot give a few bytes cannot extract anything either.
#pragma once

#include <cstdint>

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

// A resizable array of 32-bit values whose new elements are 0.
class UInt32Array {
 public:
  UInt32Array() = default;
  UInt32Array(const UInt32Array&) = delete;
  UInt32Array& operator=(const UInt32Array&) = delete;
  ~UInt32Array();

  // Keeps the first min(old, new) values; new values are 0.
  void SetLength(uint32_t length);
  uint32_t size() const { return size_; }
  uint32_t& operator[](uint32_t i) { return data_[i]; }
  uint32_t operator[](uint32_t i) const { return data_[i]; }

 private:
  uint32_t* data_ = nullptr;
  uint32_t size_ = 0;
};

// Ends the process after an allocation failure.
[[noreturn]] void FatalOutOfMemory();
