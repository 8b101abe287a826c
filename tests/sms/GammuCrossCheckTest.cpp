// Second opinion from python3-gammu, a separate SMS implementation: it reads the
// SUBMITs this codec writes, and this codec reads the DELIVERs it writes. Skipped
// where Debian's python3-gammu is not installed.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sms/MessageParts.h"
#include "sms/PduCodec.h"
#include "tests/support/HexOctets.h"

namespace kavonet::sms {
namespace {

// Takes pairs of arguments, "decode HEX" or "encode UTF8HEX"; answers one line each.
constexpr const char* kScript = R"(
import binascii, datetime, sys, gammu
for verb, arg in zip(sys.argv[1::2], sys.argv[2::2]):
    if verb == 'decode':
        m = gammu.DecodePDU(binascii.unhexlify(arg), False)
        text = m['Text'].split('\0')[0]  # gammu may leave bytes after a 7-bit text
        print(text.encode().hex().upper(), m['UDH']['ID8bit'], m['UDH']['PartNumber'], m['UDH']['AllParts'])
        continue
    text = binascii.unhexlify(arg).decode()
    parts = gammu.EncodeSMS({'Class': -1, 'Unicode': any(ord(c) > 0x3FF and c != '€' for c in text),
                             'Entries': [{'ID': 'ConcatenatedTextLong', 'Buffer': text}]})
    out = []
    for m in parts:
        m.update(Number='+4479', SMSC={'Location': 0, 'Number': ''}, Type='Deliver',
                 DateTime=datetime.datetime(1999, 3, 17, 12, 45, 8))
        m['SMSCDateTime'] = m['DateTime']
        out.append(binascii.hexlify(gammu.EncodePDU(m, 'Deliver')).decode().upper())
    print(' '.join(out))
)";

std::string Utf8Hex(std::string_view text) {
  return PduHexText(std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Runs the script over `requests`; empty when python3-gammu cannot be loaded.
std::vector<std::string> AskGammu(const std::vector<std::string>& requests) {
  setenv("KAVONET_GAMMU_SCRIPT", kScript, 1);
  std::string command = "/usr/bin/python3 -c \"$KAVONET_GAMMU_SCRIPT\" 2>/dev/null";
  for (const std::string& request : requests) command += " " + request;
  std::vector<std::string> answers(1);
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  for (int c; (c = std::fgetc(pipe)) != EOF;) {
    if (c == '\n')
      answers.emplace_back();
    else
      answers.back().push_back(static_cast<char>(c));
  }
  answers.pop_back();
  if (pclose(pipe) != 0) answers.clear();
  return answers;
}

const std::string kTexts[] = {"hi @£$ {€} [~] \\ ^ |", "Привет, мир! 😀", std::string(200, 'x'),
                              std::string(90, 'a') + "€" + "ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ😀"};

TEST(GammuCrossCheck, GammuReadsOurSubmitsAndWeReadItsDelivers) {
  std::vector<std::string> requests;
  std::vector<std::string> expected;
  for (const std::string& text : kTexts) {
    const std::vector<SubmitPdu> parts = BuildSubmitParts("+4479", text, "", false, false, 5);
    const std::vector<std::string_view> pieces = MessagePartTexts(text);
    const bool single = parts.size() == 1;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      requests.push_back("decode " + PduHexText(parts[i].octets));
      expected.push_back(Utf8Hex(pieces[i]) + (single ? " 0 -1 0"
                                                      : " 5 " + std::to_string(i + 1) + " " +
                                                            std::to_string(parts.size())));
    }
    requests.push_back("encode " + Utf8Hex(text));
    expected.emplace_back();
  }
  const std::vector<std::string> answers = AskGammu(requests);
  if (answers.empty()) GTEST_SKIP() << "python3-gammu is not installed";
  ASSERT_EQ(answers.size(), requests.size());
  std::size_t next = 0;
  for (const std::string& text : kTexts) {
    for (; !expected[next].empty(); ++next) EXPECT_EQ(answers[next], expected[next]) << text;
    std::istringstream delivers(answers[next++]);
    std::string joined;
    for (std::string pdu; delivers >> pdu;) {
      const std::vector<std::uint8_t> octets = kavonet::testing::HexOctets(pdu);
      const ReceivedMessage m = DecodeDeliver(octets, octets.at(0) + 1u, false, 0, false);
      EXPECT_EQ(m.DecodeError, "") << pdu;
      joined += m.Text;
    }
    EXPECT_EQ(joined, text);
  }
}

}  // namespace
}  // namespace kavonet::sms
