#include "sms/TextCodec.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace kavonet::sms {
namespace {

constexpr char kReplacement = '?';
// The code page shows § at 0x15; the GSM table sends 0x15 as the GSM §.
constexpr unsigned char kSectionSignCode = 0x15;
constexpr char32_t kSectionSign = 0x00A7;

// Unicode for CP437 0x80..0xFF.
constexpr std::array<char16_t, 128> kUpperHalf{
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

using ReverseEntry = std::pair<char16_t, unsigned char>;

// kUpperHalf sorted by code point, for the way back.
constexpr std::array<ReverseEntry, 128> MakeReverse() {
  std::array<ReverseEntry, 128> reverse{};
  for (unsigned i = 0; i < kUpperHalf.size(); ++i) {
    reverse[i] = {kUpperHalf[i], static_cast<unsigned char>(0x80 + i)};
  }
  std::sort(reverse.begin(), reverse.end());
  return reverse;
}
constexpr std::array<ReverseEntry, 128> kReverse = MakeReverse();

char ToCp437(char32_t codePoint) {
  if (codePoint < 0x80) return static_cast<char>(codePoint);
  if (codePoint == kSectionSign) return static_cast<char>(kSectionSignCode);
  const auto it =
      std::lower_bound(kReverse.begin(), kReverse.end(), codePoint,
                       [](const ReverseEntry& entry, char32_t cp) { return entry.first < cp; });
  if (it == kReverse.end() || it->first != codePoint) return kReplacement;
  return static_cast<char>(it->second);
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

// Decodes one UTF-8 character at `pos` and advances past it. A malformed sequence
// gives U+FFFD and is skipped up to its first offending byte, so a truncated
// character costs one replacement, not one per byte.
char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
  constexpr char32_t kInvalid = 0xFFFD;
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;

  std::size_t length = 0;
  char32_t codePoint = 0;
  unsigned char lowest = 0x80;   // bounds of the second byte, excluding overlongs,
  unsigned char highest = 0xBF;  // surrogates and values past U+10FFFF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0Fu;
    if (lead == 0xE0) lowest = 0xA0;
    if (lead == 0xED) highest = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07u;
    if (lead == 0xF0) lowest = 0x90;
    if (lead == 0xF4) highest = 0x8F;
  } else {
    return kInvalid;
  }

  for (std::size_t i = 1; i < length; ++i) {
    if (pos >= text.size()) return kInvalid;
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < lowest || byte > highest) return kInvalid;
    lowest = 0x80;
    highest = 0xBF;
    codePoint = (codePoint << 6) | (byte & 0x3Fu);
    ++pos;
  }
  return codePoint;
}

}  // namespace

std::string Utf8ToCp437(std::string_view utf8) {
  std::string cp437;
  cp437.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    cp437.push_back(ToCp437(NextCodePoint(utf8, pos)));
  }
  return cp437;
}

std::string Cp437ToUtf8(std::string_view cp437) {
  std::string utf8;
  utf8.reserve(cp437.size() * 2);
  for (char c : cp437) {
    const auto code = static_cast<unsigned char>(c);
    if (code == kSectionSignCode) {
      AppendUtf8(utf8, kSectionSign);
    } else if (code < 0x80) {
      utf8.push_back(c);
    } else {
      AppendUtf8(utf8, kUpperHalf[code - 0x80]);
    }
  }
  return utf8;
}

}  // namespace kavonet::sms
