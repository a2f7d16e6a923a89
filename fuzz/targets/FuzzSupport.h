// Helpers of the fuzz target bodies: cutting an input into parts and output
// buffers with a guard zone behind them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr) return {};
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// The parts of text between the separators, at most maxParts (the last part
// ends at the next separator; what follows it is dropped). An empty text has
// no parts.
inline std::vector<std::string_view> SplitParts(std::string_view text, char separator,
                                                std::size_t maxParts) {
  std::vector<std::string_view> parts;
  if (text.empty()) return parts;
  std::size_t begin = 0;
  while (parts.size() < maxParts) {
    std::size_t end = text.find(separator, begin);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(begin));
      break;
    }
    parts.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return parts;
}

// A C string on the heap of exactly its length plus the NUL, so that the
// address sanitizer catches a read past the NUL.
class HeapText {
 public:
  explicit HeapText(std::string_view text) : bytes_(text.begin(), text.end()) {
    bytes_.push_back('\0');
    bytes_.shrink_to_fit();
  }
  const char* c_str() const { return bytes_.data(); }
  // The text as a C string sees it: up to the first NUL.
  std::string_view view() const { return std::string_view(bytes_.data()); }

 private:
  std::vector<char> bytes_;
};

// An output buffer of size bytes filled with a marker, followed by a guard
// zone that no call may touch.
class GuardedBuffer {
 public:
  static constexpr std::size_t kGuard = 16;
  static constexpr char kFill = '\x5A';
  static constexpr char kGuardByte = '\xA5';

  explicit GuardedBuffer(std::size_t size) : size_(size), bytes_(size + kGuard, kFill) {
    std::memset(bytes_.data() + size_, static_cast<unsigned char>(kGuardByte), kGuard);
  }
  char* data() { return bytes_.data(); }
  const char* data() const { return bytes_.data(); }
  std::size_t size() const { return size_; }
  bool GuardIntact() const {
    for (std::size_t i = size_; i < bytes_.size(); ++i) {
      if (bytes_[i] != kGuardByte) return false;
    }
    return true;
  }
  // True when a NUL ends the text within the buffer.
  bool Terminated() const { return std::memchr(bytes_.data(), '\0', size_) != nullptr; }
  std::string_view Text() const { return std::string_view(bytes_.data(), strnlen(bytes_.data(), size_)); }

 private:
  std::size_t size_;
  std::vector<char> bytes_;
};

// Little-endian integers from a fixed header; bytes past the input read as 0.
inline std::uint32_t ReadU32(std::string_view in, std::size_t pos) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    std::uint32_t byte = pos + i < in.size() ? static_cast<unsigned char>(in[pos + i]) : 0u;
    v |= byte << (8 * i);
  }
  return v;
}

inline std::int32_t ReadI32(std::string_view in, std::size_t pos) {
  return static_cast<std::int32_t>(ReadU32(in, pos));
}

inline std::int16_t ReadI16(std::string_view in, std::size_t pos) {
  std::uint32_t lo = pos < in.size() ? static_cast<unsigned char>(in[pos]) : 0u;
  std::uint32_t hi = pos + 1 < in.size() ? static_cast<unsigned char>(in[pos + 1]) : 0u;
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
}

inline std::int8_t ReadI8(std::string_view in, std::size_t pos) {
  return pos < in.size() ? static_cast<std::int8_t>(in[pos]) : std::int8_t{0};
}

}  // namespace pelvaro::fuzz
