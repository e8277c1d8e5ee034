#include "unpacker/container/byte_string.h"

#include <cstdlib>
#include <cstring>

#include "unpacker/container/run_outcome.h"

void FatalOutOfMemory() {
  std::_Exit(kExitOutOfMemory);
}

static uint32_t TextLength(const char* text) {
  return text ? uint32_t(std::strlen(text)) : 0;
}

ByteString::ByteString(const char* text) : ByteString(text, TextLength(text)) {}

ByteString::ByteString(const char* bytes, uint32_t length) {
  Append(bytes, length);
}

ByteString::ByteString(const ByteString& other) {
  Append(other.data_, other.size_);
}

ByteString::ByteString(ByteString&& other) noexcept
    : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
  other.data_ = nullptr;
  other.size_ = other.capacity_ = 0;
}

ByteString& ByteString::operator=(const ByteString& other) {
  if (this != &other) {
    Clear();
    Append(other.data_, other.size_);
  }
  return *this;
}

ByteString& ByteString::operator=(ByteString&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = other.data_;
    size_ = other.size_;
    capacity_ = other.capacity_;
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
  }
  return *this;
}

ByteString::~ByteString() {
  std::free(data_);
}

void ByteString::Reserve(uint32_t capacity) {
  if (capacity <= capacity_) return;
  uint32_t grown = capacity_ < 16 ? 16 : capacity_;
  while (grown < capacity) grown = grown > 0x7FFFFFFF ? capacity : grown * 2;
  char* data = static_cast<char*>(std::realloc(data_, grown));
  if (!data) FatalOutOfMemory();
  data_ = data;
  capacity_ = grown;
}

void ByteString::Append(const char* bytes, uint32_t length) {
  if (length == 0 && data_) return;
  if (length > 0xFFFFFFF0u - size_) FatalOutOfMemory();
  Reserve(size_ + length + 1);
  if (length) std::memmove(data_ + size_, bytes, length);
  size_ += length;
  data_[size_] = 0;
}

void ByteString::Append(const char* text) {
  Append(text, TextLength(text));
}

void ByteString::Clear() {
  size_ = 0;
  if (data_) data_[0] = 0;
}

ByteString ByteString::Left(uint32_t n) const {
  return ByteString(data_, n < size_ ? n : size_);
}

ByteString ByteString::Mid(uint32_t from) const {
  if (from >= size_) return ByteString();
  return ByteString(data_ + from, size_ - from);
}

bool ByteString::operator==(const ByteString& other) const {
  return size_ == other.size_ && (size_ == 0 || std::memcmp(data_, other.data_, size_) == 0);
}
