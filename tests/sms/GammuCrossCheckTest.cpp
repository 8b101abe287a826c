// Second opinion from python3-gammu, a separate SMS implementation, on what goes out: it
// reads the SUBMITs this codec writes. Skipped where Debian's python3-gammu is missing.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sms/MessageParts.h"
#include "sms/PduCodec.h"

namespace kavonet::sms {
namespace {

// One line per SUBMIT: its text (UTF-8 in hexadecimal), reference, part number and parts.
constexpr const char* kScript = R"(
import binascii, sys, gammu
for pdu in sys.argv[1:]:
    m = gammu.DecodePDU(binascii.unhexlify(pdu), False)
    text = m['Text'].split('\0')[0]  # gammu may leave bytes after a 7-bit text
    print(text.encode().hex().upper(), m['UDH']['ID8bit'], m['UDH']['PartNumber'], m['UDH']['AllParts'])
)";

TEST(GammuCrossCheck, GammuReadsOurSubmits) {
  const std::string texts[] = {"hi @£$ {€} [~] \\ ^ |", "Привет, мир! 😀", std::string(200, 'x'),
                               std::string(90, 'a') + "€" + "ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ😀"};
  std::string command = "/usr/bin/python3 -c \"$KAVONET_GAMMU_SCRIPT\" 2>/dev/null", expected;
  for (const std::string& text : texts) {
    const std::vector<SubmitPdu> parts = BuildSubmitParts("+4479", text, "", false, false, 5);
    const std::vector<std::string_view> pieces = MessagePartTexts(text);
    for (std::size_t i = 0; i < parts.size(); ++i) {
      command += " " + PduHexText(parts[i].octets);
      const std::string part = parts.size() == 1 ? "0 -1 0" : "5 " + std::to_string(i + 1) + " " +
                                                                  std::to_string(parts.size());
      expected += PduHexText(std::vector<std::uint8_t>(pieces[i].begin(), pieces[i].end())) + " " +
                  part + "\n";
    }
  }
  setenv("KAVONET_GAMMU_SCRIPT", kScript, 1);
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string answer;
  for (int c; (c = std::fgetc(pipe)) != EOF;) answer.push_back(static_cast<char>(c));
  if (pclose(pipe) != 0) GTEST_SKIP() << "python3-gammu is not installed";
  EXPECT_EQ(answer, expected);
}

}  // namespace
}  // namespace kavonet::sms
