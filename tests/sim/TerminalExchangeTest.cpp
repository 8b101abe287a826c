// The simulated terminal, byte for byte: each row is what the gateway (or gammu) writes
// and what the terminal answers, one table per interface mode. Rows starting with '!' go
// to the control language instead (answer, then '|' and what reached the line, if
// anything); "?sent" lists the messages sent since the last look.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "HexOctets.h"
#include "sim/ControlInterpreter.h"
#include "sim/Journal.h"
#include "sim/Terminal.h"

namespace kavonet::sim {
namespace {

using kavonet::testing::HexOctets;

struct Row {
  std::string in, out;
};
struct Script {
  const char* name;
  TerminalOptions options;
  std::vector<Row> rows;
};

const std::string kOk = "\r\nOK\r\n", kError = "\r\nERROR\r\n", kPrompt = "\r\n> ";
const std::string kSubmitHi = "B100049144970000A702E834";  // to +4479: "hi"
// The SCA field of the default service centre +4479000000 and the SMS-DELIVER from +4479
// saying "hi", stamped with the fixed clock below.
const std::string kStored = "06914497000000" "040491449700009930712154800002E834";
std::string Sent(const std::string& cmgs) { return "\r\n+CMGS: " + cmgs + "\r\n" + kOk; }
std::string Lines(const std::string& lines) { return "\r\n" + lines + "\r\n" + kOk; }

// A Block Mode frame written independently of the simulator's: DLE STX, the body, DLE
// ETX, the two's complement of the body's sum; a DLE in body or checksum is followed by 00.
std::string F(const std::string& bodyHex) {
  std::string frame = "\x10\x02";
  const auto put = [&frame](std::uint8_t byte) {
    frame += static_cast<char>(byte);
    if (byte == 0x10) frame += '\0';
  };
  unsigned sum = 0;
  for (std::uint8_t byte : HexOctets(bodyHex)) sum += byte, put(byte);
  frame += "\x10\x03";
  const unsigned check = (0x10000u - (sum & 0xFFFFu)) & 0xFFFFu;
  put(static_cast<std::uint8_t>(check >> 8));
  put(static_cast<std::uint8_t>(check & 0xFF));
  return frame;
}
std::string Raw(const std::string& hex) {
  const auto octets = HexOctets(hex);
  return std::string(octets.begin(), octets.end());
}
std::string Printable(const std::string& bytes) {
  if (bytes.find('\x10') == std::string::npos) return bytes;
  std::string hex;
  for (unsigned char c : bytes) hex += "0123456789ABCDEF"[c >> 4], hex += "0123456789ABCDEF"[c & 15];
  return hex;
}

class Exchanges : public ::testing::TestWithParam<Script> {};

TEST_P(Exchanges, AnswerByteForByte) {
  std::string line, sent;
  Terminal terminal(
      GetParam().options, [&](std::string_view bytes) { line += bytes; },
      [&](const SentMessage& m) { sent += (sent.empty() ? "" : "; ") + m.destination + "=" + m.text + " " + m.pduHex; },
      [] { return SmsTimestamp{99, 3, 17, 12, 45, 8}; });
  ControlInterpreter control(terminal, {});
  for (const Row& row : GetParam().rows) {
    SCOPED_TRACE(Printable(row.in));
    std::string got;
    if (row.in == "?sent") {
      got = std::exchange(sent, {});
    } else if (row.in.front() == '!') {
      got = control.Execute(row.in.substr(1));
      if (!line.empty()) got += "|" + line;
    } else if (row.in.front() == '\x10') {  // frames arrive a byte at a time
      for (char c : row.in) terminal.Receive(std::string(1, c));
      got = line;
    } else {
      terminal.Receive(row.in);
      got = line;
    }
    line.clear();
    EXPECT_EQ(Printable(got), Printable(row.out));
  }
}

TerminalOptions Options(void (*set)(TerminalOptions&)) {
  TerminalOptions options;
  set(options);
  return options;
}

INSTANTIATE_TEST_SUITE_P(PduMode, Exchanges, ::testing::Values(
    Script{"GatewayAndGammuCommands", {}, {
        {"ATZE0&S0\r", "ATZE0&S0\r" + kOk},  // echoed before E0 takes effect
        {"AT+CPIN=\"1234\"\r", kOk}, {"AT+CMGF=0\r", kOk},
        {"AT+CPMS=\"SM\",\"SM\",\"SM\"\r", Lines("+CPMS: 0,255,0,255,0,255")},
        {"AT+CSCA?\r", Lines("+CSCA: \"+4479000000\",145")}, {"AT+CSCA=\"\"\r", kOk}, {"AT+CNMI=0,1,0,0\r", kOk},
        {"AT+CMGF=1\r", kError}, {"\x1b\r", ""}, {"ATE1\r", kOk}, {"ATE0\r", "ATE0\r" + kOk}, {"AT+CMEE=1\r", kOk},
        {"AT+CGMI;+CGMM\r", "\r\nKavonet\r\n\r\nKVS-1\r\n" + kOk}, {"AT+MODE=2\r", kError},
        {"AT+CSCA=\"+44 79\",145\r", kOk},  // spaces kept inside quotes
        {"AT+CSCA?\r", Lines("+CSCA: \"+44 79\",145")}, {"AT+CSCA=\"12345\",129\r", kOk},
        {"AT+CSQ\r", Lines("+CSQ: 21,0")}, {"!csq 99 7", "OK"}, {"AT+CSQ\r", Lines("+CSQ: 99,7")},
        // A message stored now carries the new service centre in front of its TPDU.
        {"!store +4479 hi", "OK 1"},
        {"AT+CMGR=1\r", Lines("+CMGR: 0,,17\r\n04812143F5040491449700009930712154800002E834")}, {"\r", ""},
        {"hello\r", ""},  // no command line: no answer
        {"xxAT\r", kOk},  // noise before "AT" is skipped
        {"at+cmgf=0\r", kOk}, {"AT + C M G F = 0\r", kOk}, {"AT+CSQX\x08\r", Lines("+CSQ: 99,7")},
        {"AT+FOO\x1b" "AT\r", kOk},  // escape drops the line so far
        {"AT\n\r", kOk},
        {"AT+CMGF=0;+FOO;+CSQ\r", kError},  // stops at the first error
        {"AT+CSCA=\"a;b\";+CSQ\r", Lines("+CSQ: 99,7")}, {"ATD123;\r", kError}, {"AT&\r", kError},
        {"AT+CMGF?X\r", kError}, {"AT" + std::string(2000, 'E') + "\r", kError}, {"AT\r", kOk}}},
    Script{"NumericResultCodes", Options([](TerminalOptions& o) { o.numericResults = true; }), {
        {"ATE0\r", "ATE0\r0\r"}, {"AT+CSQ\r", "+CSQ: 21,0\r\n0\r"}, {"AT+FOO\r", "4\r"},
        {"AT+CMGR=5\r", "+CMS ERROR: 321\r"}, {"ATV1\r", kOk},
        {"ATZ\r", "0\r"},  // back to the profile: echo on, numeric codes
        {"ATE0V1\r", "ATE0V1\r" + kOk}, {"ATV0\r", "0\r"}}},
    Script{"SendsRefusesAndJournals", {}, {
        {"AT+CMGS=12\r", "AT+CMGS=12\r" + kPrompt},  // the PDU text is echoed while echo is on
        {"00" + kSubmitHi + "\x1a", "00" + kSubmitHi + Sent("1")}, {"ATE\r", "ATE\r" + kOk},
        {"AT+CMGS=12\r", kPrompt}, {"04912143F5" + kSubmitHi + "\x1a", Sent("2")},
        {"?sent", "+4479=hi " + kSubmitHi + "; +4479=hi " + kSubmitHi},  // the TPDU without the SCA
        {"AT+CMGS=12\r", kPrompt},
        {"B100049144970000A702E8ZZ\x1a", "\r\n+CMS ERROR: 304\r\n"},  // not hexadecimal
        {"AT+CMGS=13\r", kPrompt},
        {kSubmitHi + "\x1a", "\r\n+CMS ERROR: 304\r\n"},  // shorter than the length
        {"AT+CMGS=12\r", kPrompt},
        {"05912143F5" + kSubmitHi + "\x1a", "\r\n+CMS ERROR: 304\r\n"},  // SCA field of the wrong length
        {"AT+CMGS=11\r", kPrompt},
        {"B100049144970000A702E8\x1a", "\r\n+CMS ERROR: 304\r\n"},  // user data cut short
        {"AT+CMGS=1\r", kPrompt}, {"\x1a", "\r\n+CMS ERROR: 304\r\n"},  // no text at all
        {"AT\r", kOk}, {"AT+CMGS=0\r", kError}, {"AT+CMGS=165\r", kError}, {"AT+CMGS\r", kError},
        {"AT+CMGS=1,2\r", kError},
        // A refusal is used up by the next decodable message only.
        {"!refuse-next-send 500", "OK"}, {"AT+CMGS=1\r", kPrompt}, {"04\x1a", "\r\n+CMS ERROR: 304\r\n"},
        {"AT+CMGS=12\r", kPrompt}, {kSubmitHi + "\x1a", "\r\n+CMS ERROR: 500\r\n"}, {"AT+CMGS=12\r", kPrompt},
        {kSubmitHi + "\x1a", Sent("3")}, {"AT+CMGS=12\r", kPrompt},
        {"B10004\x1b", kOk},  // escape abandons the message
        {"?sent", "+4479=hi " + kSubmitHi},
        // gammu's: relative validity, none, absolute; UCS2, 8-bit data, headers.
        {"AT+CMGS=18\r", kPrompt}, {"110005812143F50000FF08E834888E2ECBCB\x1a", Sent("4")}, {"AT+CMGS=13\r", kPrompt},
        {"01000781214365F7000002E834\x1a", Sent("5")}, {"AT+CMGS=18\r", kPrompt},
        {"19000391214300009930712154800002E834\x1a", Sent("6")}, {"AT+CMGS=14\r", kPrompt},
        {"110004914497000800044E2D0041\x1a", Sent("7")}, {"AT+CMGS=13\r", kPrompt},
        {"1100049144970004FF03010203\x1a", Sent("8")}, {"AT+CMGS=18\r", kPrompt},
        {"5100049144970000FF09050003010201D069\x1a", Sent("9")}, {"AT+CMGS=20\r", kPrompt},
        {"5100049144970008FF0A05000301020100480069\x1a", Sent("10")},
        {"?sent", "12345=hi there 110005812143F50000FF08E834888E2ECBCB; "
                  "1234567=hi 01000781214365F7000002E834; +123=hi 19000391214300009930712154800002E834; "
                  "+4479=\xE4\xB8\xAD" "A 110004914497000800044E2D0041; +4479=010203 1100049144970004FF03010203; "
                  "+4479=hi 5100049144970000FF09050003010201D069; +4479=Hi 5100049144970008FF0A05000301020100480069"}}},
    Script{"IndicatesListsReadsAndDeletes", {}, {
        {"ATE0\r", "ATE0\r" + kOk},
        {"!deliver +4479 one", "OK 1"},  // +CNMI not set: no indication
        {"AT+CNMI=0,1,0,0\r", kOk}, {"!deliver +4479 two", "OK 2|\r\n+CMTI: \"SM\",2\r\n"},
        {"!store +4479 three", "OK 3"},
        // While the terminal waits for PDU text the indication waits for the final result.
        {"AT+CMGS=12\r", kPrompt}, {"!deliver +4479 four", "OK 4"},
        {kSubmitHi + "\x1a", Sent("1") + "\r\n+CMTI: \"SM\",4\r\n"},
        {"AT+CNMI=,0\r", kOk},  // an omitted parameter keeps its value
        {"AT+CNMI?\r", Lines("+CNMI: 0,0,0,0,0")}, {"!deliver +4479 five", "OK 5"}, {"AT+CNMI=4\r", kError},
        {"AT+CMGD=0,4\r", kOk}, {"!deliver-pdu 040491449700009930712154800002E834", "OK 1"},
        {"!store +4479 hi", "OK 2"}, {"!store +4479 hi", "OK 3"}, {"!list", "OK 1 2 3"},
        {"AT+CMGR=2\r", Lines("+CMGR: 0,,17\r\n" + kStored)}, {"AT+CMGL=1\r", Lines("+CMGL: 2,1,,17\r\n" + kStored)},
        {"AT+CMGL=2\r", kOk},
        {"AT+CMGL\r", "\r\n+CMGL: 1,0,,17\r\n" + kStored + "\r\n+CMGL: 3,0,,17\r\n" + kStored + "\r\n" + kOk},
        {"AT+CMGL=0\r", kOk},  // those were unread, and now are read
        {"AT+CMGR=1\r", Lines("+CMGR: 1,,17\r\n" + kStored)}, {"AT+CMGR=4\r", "\r\n+CMS ERROR: 321\r\n"},
        {"AT+CMGD=4\r", "\r\n+CMS ERROR: 321\r\n"}, {"AT+CMGD=1\r", kOk}, {"AT+CMGR=1\r", "\r\n+CMS ERROR: 321\r\n"},
        {"AT+CMGL=5\r", kError}, {"AT+CMGD=0,4\r", kOk}, {"AT+CMGL=4\r", kOk}, {"!count", "OK 0"},
        {"!silent on", "OK"}, {"AT\r", ""}, {"!silent off", "OK"}, {"AT\r", kOk},
        {"!send-bytes 0d0a4f4b0d0a", "OK 6|" + kOk}, {"!fill 255", "OK 255"},
        {"!deliver +1 one more", "ERROR message store full"},
        {"!fill 1", "ERROR message store full after 0 messages"}}},
    Script{"ControlLanguage", {}, {
        {"!", ""},
        {"!deliver +4479   two  spaces \r", "OK 1"},  // "  two  spaces " in GSM 7-bit: 14 septets
        {"ATE0\r", "ATE0\r" + kOk},
        {"AT+CMGR=1\r", Lines("+CMGR: 0,,28\r\n" "06914497000000" "04049144970000993071215480000E2010FDFE0681E6F0F0B83C0701")},
        {"!store Kavonet hi", "OK 2"},
        {"AT+CMGR=2\r", Lines("+CMGR: 0,,22\r\n06914497000000" "040DD0CBB0FDED2ED3010000" "99307121548000" "02E834")},
        {"!store +4479 \xE4\xB8\xAD", "OK 3"},
        {"AT+CMGR=3\r", Lines("+CMGR: 0,,17\r\n06914497000000" "04049144970008" "99307121548000" "024E2D")},
        {"!store 12345 \xE2\x82\xAC", "OK 4"},
        {"AT+CMGR=4\r", Lines("+CMGR: 0,,18\r\n06914497000000" "0405812143F50000" "99307121548000" "029B32")},
        {"!deliver +4479 " + std::string(161, 'x'), "OK 5 6"},
        {"!deliver", "ERROR usage: deliver|store <origin> <text...>"},
        {"!deliver 12x4\xE4 hi", "ERROR origin is neither a number nor a sender name of up to 11 GSM characters"},
        {"!deliver-pdu 0G", "ERROR usage: deliver-pdu <hex>"}, {"!fill 0", "ERROR usage: fill <n>, n from 1 to 255"},
        {"!silent maybe", "ERROR usage: silent on|off"}, {"!leave-block-mode", "ERROR not in block mode"},
        {"!csq 31", "ERROR usage: csq <rssi> <ber>"}, {"!latency -1", "ERROR usage: latency <ms>, 0 to 60000"},
        {"!frobnicate", "ERROR unknown command frobnicate"}, {"!mode", "OK pdu"}, {"AT*X\r", kError},
        {"AT*T\r\r", kOk}, {"!mode", "OK block"}}},
    Script{"ShortHeaders", Options([](TerminalOptions& o) { o.shortHeaders = true; }), {
        {"ATE0\r", "ATE0\r" + kOk}, {"!store +4479 hi", "OK 1"},
        {"AT+CMGL=4\r", Lines("+CMGL: 1,0,17\r\n" + kStored)}, {"AT+CMGR=1\r", Lines("+CMGR: 1,17\r\n" + kStored)}}},
    Script{"StandardBlockCommand", Options([](TerminalOptions& o) { o.blockCommand = "+CESP"; }), {
        {"ATE0\r", "ATE0\r" + kOk}, {"AT*T\r", kError}, {"at+cesp\r", kOk},
        {"!mode", "OK block"}}}),
    [](const auto& info) { return std::string(info.param.name); });

const auto kInBlockMode = Options([](TerminalOptions& o) { o.startInBlockMode = true; });

INSTANTIATE_TEST_SUITE_P(BlockMode, Exchanges, ::testing::Values(
    Script{"EntryTransferRequestsAndLeaving", {}, {
        {"ATZE0&S0\r", "ATZE0&S0\r" + kOk},
        {"AT*T\r\r", kOk},  // the second CR is noise to Block Mode
        {Raw("1002 0500 1003 FFFB"), Raw("1002 2A01 1003 FFD5")}, {"!deliver +4479 hi", "OK 1|" + F("24000001")},
        {F("0502"), F("2A01")}, {"!deliver +4479 hi", "OK 2|" + F("2300000200" + kStored)}, {F("0503"), F("2A01")},
        {"!deliver +4479 hi", "OK 3|" + F("2300000300" + kStored)},
        {F("0102"), F("2100000201" + kStored)},  // passed on counts as read, and stays stored
        {F("0500"), F("2A01")}, {"!store +4479 hi", "OK 4"}, {F("0501"), F("2904")}, {F("05"), F("2904")},
        {"AT\r", ""},  // AT commands mean nothing here
        {"!leave-block-mode 3", "OK|" + F("3F03")}, {"!mode", "OK pdu"}, {"AT\r", kOk}, {"AT*T\r", kOk},
        {"!deliver +4479 hi", "OK 5|" + F("24000005")},  // a new session starts without transfer
        {"!leave-block-mode", "OK|" + F("3F06")}}},
    Script{"InsertSms", kInBlockMode, {
        {"!refuse-next-send 0x87", "OK"}, {F("0702"), F("2904")},
        {F("070205"), F("2904")},    // field runs past the end
        {F("070200B1"), F("2904")},  // TPDU cut short
        {F("070200" + kSubmitHi), F("2A04") + F("260087")}, {F("070200" + kSubmitHi), F("2A04") + F("250001")},
        {F("070204912143F5" + kSubmitHi), F("2A04") + F("250002")},  // a service centre field is skipped
        {"?sent", "+4479=hi " + kSubmitHi + "; +4479=hi " + kSubmitHi}}},
    Script{"ListsGetsAndDeletes", kInBlockMode, {
        {F("02"), F("220000")},  // an empty store
        {"!store +4479 hi", "OK 1"}, {"!store +4479 hi", "OK 2"}, {"!store +4479 hi", "OK 3"}, {F("0802"), F("2702")},
        {F("0802"), F("280200")},
        {F("0810"), F("281000")},  // index 0x10 goes out stuffed
        {F("02"), F("2100000100" + kStored)}, {F("03"), F("2100000300" + kStored)}, {F("03"), F("220000")},
        {F("0103"), F("2100000301" + kStored)},  // read once listed
        {F("0104"), F("220000")}, {F("01"), F("2904")}, {F("08"), F("2904")}, {F("09"), F("2904")},
        {F("20"), F("2904")},
        {Raw("1002 1003 0000"), F("2904")},         // an empty body
        {Raw("1002 02 1003 FFFF"), F("2904")},      // a wrong checksum
        {Raw("0D0A4154 1002 02 1003 FFFE"), F("2100000101" + kStored)},  // noise before a frame
        {Raw("1002 05 1002 03 1003 FFFD"), F("2100000301" + kStored)},  // DLE STX starts again
        {Raw("1002 05 1010 02 0500 1003 FFFB"), F("2A01")},  // so does DLE DLE STX
        {Raw("1002 05 1041 1003 FFFB 1010 1002 0500 1003 FFFB"), F("2A01")},  // a lone DLE drops the frame
        {Raw("1002 01EF 1003 FF10") + F("0500"), F("220000") + F("2A01")},  // an unstuffed checksum DLE
        {Raw("1002 0500") + std::string(239, '\xFF') + Raw("EB 1003 10FF"), F("2A01")},  // an unstuffed DLE first in the checksum
        {Raw("1002") + std::string(600, 'A') + Raw("1003 0000") + F("0500"), F("2A01")}}}),  // overlong
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimJournal, WritesOneJsonObjectPerMessage) {
  EXPECT_EQ(JournalLine({"+4479", "hi", "B1", sim::PartOf{7, 3, 2}}),
            R"({"destination":"+4479","text":"hi","pdu":"B1","reference":7,"part":2,"parts":3})");
  EXPECT_EQ(JournalLine({"1", "a\"b\\c\nd\re\tf\x01g\xC3\xA9", "", {}}),
            R"({"destination":"1","text":"a\"b\\c\nd\re\tf\u0001gé","pdu":""})");
}

}  // namespace
}  // namespace kavonet::sim
