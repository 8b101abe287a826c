#include "sim/Unicode.h"

namespace kavonet::sim {
namespace {

// Length of the sequence a lead byte starts, or 0 for a byte that cannot lead.
int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

}  // namespace

std::u32string DecodeUtf8(std::string_view text) {
  std::u32string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = SequenceLength(lead);
    if (length == 1) {
      out.push_back(lead);
      ++i;
      continue;
    }
    if (length == 0 || i + length > text.size()) {
      out.push_back(kReplacementCharacter);
      ++i;
      continue;
    }
    char32_t c = lead & (0x7F >> length);
    bool good = true;
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) good = false;
      c = c << 6 | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!good || c < kSmallest[length] || c > 0x10FFFF || IsSurrogate(c)) {
      out.push_back(kReplacementCharacter);
      ++i;
      continue;
    }
    out.push_back(c);
    i += length;
  }
  return out;
}

std::string EncodeUtf8(std::u32string_view text) {
  std::string out;
  for (char32_t c : text) {
    if (c > 0x10FFFF || IsSurrogate(c)) c = kReplacementCharacter;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | c >> 6));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | c >> 12));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | c >> 18));
      out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

Bytes EncodeUtf16Be(std::u32string_view text) {
  Bytes out;
  auto unit = [&out](char32_t u) {
    out.push_back(static_cast<std::uint8_t>(u >> 8));
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
  };
  for (char32_t c : text) {
    if (c > 0x10FFFF || IsSurrogate(c)) c = kReplacementCharacter;
    if (c < 0x10000) {
      unit(c);
    } else {
      const char32_t v = c - 0x10000;
      unit(0xD800 + (v >> 10));
      unit(0xDC00 + (v & 0x3FF));
    }
  }
  return out;
}

std::u32string DecodeUtf16Be(const Bytes& octets) {
  std::u32string out;
  const std::size_t units = octets.size() / 2;
  for (std::size_t i = 0; i < units; ++i) {
    const char32_t u = static_cast<char32_t>(octets[2 * i] << 8 | octets[2 * i + 1]);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const char32_t low = static_cast<char32_t>(octets[2 * i + 2] << 8 | octets[2 * i + 3]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        out.push_back(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    out.push_back(IsSurrogate(u) ? kReplacementCharacter : u);
  }
  if (octets.size() % 2 != 0) out.push_back(kReplacementCharacter);
  return out;
}

}  // namespace kavonet::sim
