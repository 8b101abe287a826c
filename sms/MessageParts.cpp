#include "sms/MessageParts.h"

#include <algorithm>

#include "sms/Gsm0340.h"
#include "sms/GsmAlphabet.h"
#include "sms/Utf8.h"

namespace kavonet::sms {
namespace {

std::size_t SingleCapacity(Alphabet alphabet) {
  return alphabet == Alphabet::Gsm7 ? gsm0340::kMaxSeptets : gsm0340::kMaxUcs2Units;
}

std::size_t PartCapacity(Alphabet alphabet) {
  return alphabet == Alphabet::Gsm7 ? gsm0340::kPartSeptets : gsm0340::kPartUcs2Units;
}

// Length in octets of the longest start of `text` whose characters fit `capacity` units.
std::size_t FittingLength(std::string_view text, Alphabet alphabet, std::size_t capacity) {
  std::size_t used = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t next = pos;
    used += CharacterUnits(alphabet, NextCodePoint(text, next));
    if (used > capacity) break;
    pos = next;
  }
  return pos;
}

}  // namespace

Alphabet SendAlphabet(std::string_view utf8) {
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    if (GsmEncode(NextCodePoint(utf8, pos)).length == 0) return Alphabet::Ucs2;
  }
  return Alphabet::Gsm7;
}

std::size_t CharacterUnits(Alphabet alphabet, char32_t character) {
  if (alphabet == Alphabet::Gsm7) return std::max<std::size_t>(GsmEncode(character).length, 1);
  return character >= 0x10000 ? 2 : 1;
}

std::string_view SingleMessageText(std::string_view utf8, Alphabet alphabet) {
  return utf8.substr(0, FittingLength(utf8, alphabet, SingleCapacity(alphabet)));
}

SingleMessage FitSingleMessage(std::string_view utf8) {
  std::size_t used = 0;
  std::size_t pos = 0;
  // A character after a full message is not sent, so it does not choose the alphabet.
  while (pos < utf8.size() && used < gsm0340::kMaxSeptets) {
    std::size_t next = pos;
    const std::size_t units = GsmEncode(NextCodePoint(utf8, next)).length;
    if (units == 0) return {Alphabet::Ucs2, SingleMessageText(utf8, Alphabet::Ucs2)};
    used += units;
    if (used > gsm0340::kMaxSeptets) break;
    pos = next;
  }
  return {Alphabet::Gsm7, utf8.substr(0, pos)};
}

std::vector<std::string_view> MessagePartTexts(std::string_view utf8, Alphabet alphabet) {
  if (SingleMessageText(utf8, alphabet).size() == utf8.size()) return {utf8};
  std::vector<std::string_view> parts;
  while (!utf8.empty() && parts.size() < gsm0340::kMaxParts) {
    const std::size_t length = FittingLength(utf8, alphabet, PartCapacity(alphabet));
    parts.push_back(utf8.substr(0, length));
    utf8.remove_prefix(length);
  }
  return parts;
}

std::vector<std::string_view> MessagePartTexts(std::string_view utf8) {
  return MessagePartTexts(utf8, SendAlphabet(utf8));
}

}  // namespace kavonet::sms
