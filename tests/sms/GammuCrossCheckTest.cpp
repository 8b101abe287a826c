// Second opinion from python3-gammu, a separate SMS implementation: it reads the SUBMITs
// this codec writes, and this codec reads the DELIVERs it writes. Skipped where Debian's
// python3-gammu is not installed.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "sms/MessageParts.h"
#include "sms/PduCodec.h"
#include "tests/support/HexOctets.h"

namespace kavonet::sms {
namespace {

// Reads SUBMITs (hexadecimal arguments) and answers a line each: the text (UTF-8 in
// hexadecimal), reference, part number and parts; an argument "+TEXT" (hexadecimal UTF-8)
// is answered with the DELIVERs of TEXT from +4479, on one line.
constexpr const char* kScript = R"(
import binascii, datetime, sys, gammu
stamp = datetime.datetime(1999, 3, 17, 12, 45, 8)
for arg in sys.argv[1:]:
    if arg[0] != '+':
        m = gammu.DecodePDU(binascii.unhexlify(arg), False)
        text = m['Text'].split('\0')[0]  # gammu may leave bytes after a 7-bit text
        print(text.encode().hex().upper(), m['UDH']['ID8bit'], m['UDH']['PartNumber'], m['UDH']['AllParts'])
        continue
    text = binascii.unhexlify(arg[1:]).decode()
    parts = gammu.EncodeSMS({'Class': -1, 'Unicode': any(ord(c) > 0x3FF and c != '€' for c in text),
                             'Entries': [{'ID': 'ConcatenatedTextLong', 'Buffer': text}]})
    for m in parts:
        m.update(Number='+4479', SMSC={'Location': 0, 'Number': ''}, Type='Deliver',
                 DateTime=stamp, SMSCDateTime=stamp)
        print(binascii.hexlify(gammu.EncodePDU(m, 'Deliver')).decode().upper(), end=' ')
    print()
)";

std::string Hex(std::string_view text) {
  return PduHexText(std::vector<std::uint8_t>(text.begin(), text.end()));
}

TEST(GammuCrossCheck, GammuReadsOurSubmitsAndWeReadItsDelivers) {
  const std::string texts[] = {"hi @£$ {€} [~] \\ ^ |", "Привет, мир! 😀", std::string(200, 'x'),
                               std::string(90, 'a') + "€" + "ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ😀"};
  std::string command = "/usr/bin/python3 -c \"$KAVONET_GAMMU_SCRIPT\" 2>/dev/null";
  std::string expected;
  for (const std::string& text : texts) {
    const std::vector<SubmitPdu> parts = BuildSubmitParts("+4479", text, "", false, false, 5);
    const std::vector<std::string_view> pieces = MessagePartTexts(text);
    for (std::size_t i = 0; i < parts.size(); ++i) {
      command += " " + PduHexText(parts[i].octets);
      expected += Hex(pieces[i]) + (parts.size() == 1 ? " 0 -1 0\n" : " 5 " + std::to_string(i + 1) +
                                                                         " " + std::to_string(parts.size()) + "\n");
    }
    command += " +" + Hex(text);
    expected += "<" + text + ">\n";
  }
  setenv("KAVONET_GAMMU_SCRIPT", kScript, 1);
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string answer, line;
  for (int c; (c = std::fgetc(pipe)) != EOF;) answer.push_back(static_cast<char>(c));
  if (pclose(pipe) != 0) GTEST_SKIP() << "python3-gammu is not installed";
  // Our reading of its DELIVERs replaces each line of them, so one comparison covers both ways.
  std::istringstream lines(answer);
  std::string read;
  while (std::getline(lines, line)) {
    if (line.empty() || line.back() != ' ') {
      read += line + "\n";
      continue;
    }
    std::string joined;
    std::istringstream delivers(line);
    for (std::string pdu; delivers >> pdu;) {
      const std::vector<std::uint8_t> octets = kavonet::testing::HexOctets(pdu);
      const ReceivedMessage m = DecodeDeliver(octets, octets.at(0) + 1u, false, 0, false);
      joined += m.DecodeError.empty() ? m.Text : "!" + m.DecodeError;
    }
    read += "<" + joined + ">\n";
  }
  EXPECT_EQ(read, expected);
}

}  // namespace
}  // namespace kavonet::sms
