#pragma once
// How much of a text one SMS carries, and where a long text is cut into the parts of
// a concatenated message. Texts are UTF-8; the alphabet is chosen for the whole text.

#include <cstddef>
#include <string_view>
#include <vector>

#include "sms/DataCoding.h"

namespace kavonet::sms {

// GSM 7-bit when every character has a form in the default alphabet or its extension
// table; otherwise UCS2 (UTF-16), which carries every character.
Alphabet SendAlphabet(std::string_view utf8);

// Units a character takes: septets (two for an extension character) or UTF-16 units
// (two for a character outside the basic plane). A character GSM lacks is sent as '?'
// when the caller insists on GSM 7-bit.
std::size_t CharacterUnits(Alphabet alphabet, char32_t character);

// The start of `utf8` that fits one message in `alphabet`: 160 septets or 70 UTF-16
// units. Never ends between an escape and its character or inside a surrogate pair.
std::string_view SingleMessageText(std::string_view utf8, Alphabet alphabet);

// What a single message carries of `utf8`: GSM 7-bit when that much of the text has
// only GSM characters (what is cut off does not matter), otherwise UCS2.
struct SingleMessage {
  Alphabet alphabet;
  std::string_view text;
};
SingleMessage FitSingleMessage(std::string_view utf8);
inline std::string_view SingleMessageText(std::string_view utf8) {
  return FitSingleMessage(utf8).text;
}

// The texts of the parts a message is sent in: the whole text when one message holds
// it, otherwise pieces of 153 septets or 67 UTF-16 units, cut between characters, at
// most 255 of them (anything beyond is dropped). Empty text gives one empty part.
std::vector<std::string_view> MessagePartTexts(std::string_view utf8, Alphabet alphabet);
std::vector<std::string_view> MessagePartTexts(std::string_view utf8);

}  // namespace kavonet::sms
