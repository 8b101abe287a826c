// The terminal in AT command mode with the PDU format: what a gateway and gammu send,
// byte for byte what comes back.

#include <gtest/gtest.h>

#include "TerminalHarness.h"

namespace kavonet::sim {
namespace {

// The SCA field of the default service centre +4479000000 and the worked-example
// SMS-DELIVER from +4479 with the text "hi".
constexpr const char* kStoredPdu = "06914497000000" "040491449700009930712154800002E834";

struct Exchange {
  const char* input;
  const char* output;
};

void ExpectExchanges(TerminalHarness& harness, const std::vector<Exchange>& exchanges) {
  for (const Exchange& e : exchanges) {
    SCOPED_TRACE(e.input);
    EXPECT_EQ(harness.Exchange(e.input), e.output);
  }
}

// Echo off, as a gateway leaves it.
void Quiet(TerminalHarness& harness) { harness.Exchange("ATE0\r"); }

TEST(SimPduMode, AnswersTheGatewayInitialisationList) {
  TerminalHarness harness;
  ExpectExchanges(harness, {
      {"ATZE0&S0\r", "ATZE0&S0\r\r\nOK\r\n"},  // echoed before E0 takes effect
      {"AT+CPIN=\"1234\"\r", "\r\nOK\r\n"},
      {"AT+CMGF=0\r", "\r\nOK\r\n"},
      {"AT+CPMS=\"SM\",\"SM\",\"SM\"\r", "\r\n+CPMS: 0,255,0,255,0,255\r\n\r\nOK\r\n"},
      {"AT+CSCA=\"\"\r", "\r\nOK\r\n"},
      {"AT+CNMI=0,1,0,0\r", "\r\nOK\r\n"},
      {"AT+CMGF=1\r", "\r\nERROR\r\n"},
  });
}

TEST(SimPduMode, AnswersWhatGammuAsks) {
  TerminalHarness harness;
  Quiet(harness);
  ExpectExchanges(harness, {
      {"\x1b\r", ""},
      {"AT\r", "\r\nOK\r\n"},
      {"ATE1\r", "\r\nOK\r\n"},
      {"ATE0\r", "ATE0\r\r\nOK\r\n"},
      {"AT+CMEE=1\r", "\r\nOK\r\n"},
      {"AT+CSCS?\r", "\r\n+CSCS: \"GSM\"\r\n\r\nOK\r\n"},
      {"AT+CSCS=?\r", "\r\n+CSCS: (\"GSM\",\"IRA\")\r\n\r\nOK\r\n"},
      {"AT+CGMI\r", "\r\nKavonet\r\n\r\nOK\r\n"},
      {"AT+CGMM\r", "\r\nKVS-1\r\n\r\nOK\r\n"},
      {"AT+CGMR\r", "\r\n1.0\r\n\r\nOK\r\n"},
      {"AT+CGSN\r", "\r\n356938035643809\r\n\r\nOK\r\n"},
      {"AT+CIMI\r", "\r\n001010123456789\r\n\r\nOK\r\n"},
      {"AT+CFUN=1\r", "\r\nOK\r\n"},
      {"AT+CSCA?\r", "\r\n+CSCA: \"+4479000000\",145\r\n\r\nOK\r\n"},
      {"AT+CPMS=?\r", "\r\n+CPMS: (\"SM\"),(\"SM\"),(\"SM\")\r\n\r\nOK\r\n"},
      {"AT+CPMS=\"SM\",\"SM\"\r", "\r\n+CPMS: 0,255,0,255,0,255\r\n\r\nOK\r\n"},
      {"AT+MODE=2\r", "\r\nERROR\r\n"},
      {"AT+CPROT=?\r", "\r\nERROR\r\n"},
      {"AT+CGMI;+CGMM\r", "\r\nKavonet\r\n\r\nKVS-1\r\n\r\nOK\r\n"},
  });
}

TEST(SimPduMode, ServiceCentreAndSignalQuality) {
  TerminalHarness harness;
  Quiet(harness);
  ExpectExchanges(harness, {
      {"AT+CSCA=\"12345\",129\r", "\r\nOK\r\n"},
      {"AT+CSCA?\r", "\r\n+CSCA: \"12345\",129\r\n\r\nOK\r\n"},
      {"AT+CSQ\r", "\r\n+CSQ: 21,0\r\n\r\nOK\r\n"},
  });
  harness.terminal().SetSignal(99, 7);
  EXPECT_EQ(harness.Exchange("AT+CSQ\r"), "\r\n+CSQ: 99,7\r\n\r\nOK\r\n");
  // A message stored now carries the new service centre in front of its TPDU.
  harness.terminal().Store("+4479", "hi");
  EXPECT_EQ(harness.Exchange("AT+CMGR=1\r"),
            "\r\n+CMGR: 0,,17\r\n04812143F5040491449700009930712154800002E834\r\n\r\nOK\r\n");
}

TEST(SimPduMode, NumericResultCodes) {
  TerminalOptions options;
  options.numericResults = true;
  TerminalHarness harness(options);
  ExpectExchanges(harness, {
      {"ATE0\r", "ATE0\r0\r"},
      {"AT+CSQ\r", "+CSQ: 21,0\r\n0\r"},
      {"AT+FOO\r", "4\r"},
      {"AT+CMGR=5\r", "+CMS ERROR: 321\r"},
      {"ATV1\r", "\r\nOK\r\n"},
      {"ATZ\r", "0\r"},  // back to the profile: echo on, numeric codes
      {"ATE0V1\r", "ATE0V1\r\r\nOK\r\n"},
      {"ATV0\r", "0\r"},
  });
}

TEST(SimPduMode, LineEditingAndNoise) {
  TerminalHarness harness;
  Quiet(harness);
  ExpectExchanges(harness, {
      {"\r", ""},
      {"hello\r", ""},                      // no command line: no answer
      {"xxAT\r", "\r\nOK\r\n"},             // noise before "AT" is skipped
      {"at+cmgf=0\r", "\r\nOK\r\n"},
      {"AT+CSQX\x08\r", "\r\n+CSQ: 21,0\r\n\r\nOK\r\n"},
      {"AT+FOO\x1b" "AT\r", "\r\nOK\r\n"},  // escape drops the line so far
      {"AT+FOO\r", "\r\nERROR\r\n"},
      {"AT\n\r", "\r\nOK\r\n"},
      {"AT+CMGF=0;+FOO;+CSQ\r", "\r\nERROR\r\n"},  // stops at the first error
      {"ATD123;\r", "\r\nERROR\r\n"},
  });
  EXPECT_EQ(harness.Exchange("AT" + std::string(2000, 'E') + "\r"), "\r\nERROR\r\n");
  EXPECT_EQ(harness.Exchange("AT\r"), "\r\nOK\r\n");
}

TEST(SimPduMode, SendsAMessageAndJournalsIt) {
  TerminalHarness harness;
  Quiet(harness);
  ExpectExchanges(harness, {
      {"AT+CMGS=12\r", "\r\n> "},
      {"B100049144970000A702E834\x1a", "\r\n+CMGS: 1\r\n\r\nOK\r\n"},
      {"AT+CMGS=12\r", "\r\n> "},
      {"04912143F5B100049144970000A702E834\x1a", "\r\n+CMGS: 2\r\n\r\nOK\r\n"},
  });
  ASSERT_EQ(harness.Sent().size(), 2u);
  EXPECT_EQ(harness.Sent()[0].destination, "+4479");
  EXPECT_EQ(harness.Sent()[0].text, "hi");
  EXPECT_EQ(harness.Sent()[0].pduHex, "B100049144970000A702E834");
  EXPECT_EQ(harness.Sent()[1].pduHex, "B100049144970000A702E834");  // TPDU without the SCA
}

TEST(SimPduMode, EchoesThePduTextWhenEchoIsOn) {
  TerminalHarness harness;
  EXPECT_EQ(harness.Exchange("AT+CMGS=12\r"), "AT+CMGS=12\r\r\n> ");
  EXPECT_EQ(harness.Exchange("00B100049144970000A702E834\x1a"),
            "00B100049144970000A702E834\r\n+CMGS: 1\r\n\r\nOK\r\n");
}

TEST(SimPduMode, RefusesMalformedPduText) {
  struct Case {
    const char* name;
    const char* command;
    const char* text;
  };
  const Case cases[] = {
      {"not hexadecimal", "AT+CMGS=12\r", "B100049144970000A702E8ZZ\x1a"},
      {"shorter than the length", "AT+CMGS=13\r", "B100049144970000A702E834\x1a"},
      {"SCA field of the wrong length", "AT+CMGS=12\r", "05912143F5B100049144970000A702E834\x1a"},
      {"not an SMS-SUBMIT", "AT+CMGS=17\r", "040491449700009930712154800002E834\x1a"},
      {"user data cut short", "AT+CMGS=11\r", "B100049144970000A702E8\x1a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TerminalHarness harness;
  Quiet(harness);
    EXPECT_EQ(harness.Exchange(c.command), "\r\n> ");
    EXPECT_EQ(harness.Exchange(c.text), "\r\n+CMS ERROR: 304\r\n");
    EXPECT_TRUE(harness.Sent().empty());
    EXPECT_EQ(harness.Exchange("AT\r"), "\r\nOK\r\n");
  }
  TerminalHarness harness;
  Quiet(harness);
  for (const char* command : {"AT+CMGS=0\r", "AT+CMGS=165\r", "AT+CMGS\r", "AT+CMGS=1,2\r"}) {
    EXPECT_EQ(harness.Exchange(command), "\r\nERROR\r\n") << command;
  }
}

TEST(SimPduMode, ArmedRefusalAnswersTheNextSendOnly) {
  TerminalHarness harness;
  Quiet(harness);
  harness.terminal().RefuseNextSend(500);
  // An undecodable PDU does not use the refusal up.
  harness.Exchange("AT+CMGS=1\r");
  EXPECT_EQ(harness.Exchange("04\x1a"), "\r\n+CMS ERROR: 304\r\n");
  harness.Exchange("AT+CMGS=12\r");
  EXPECT_EQ(harness.Exchange("B100049144970000A702E834\x1a"), "\r\n+CMS ERROR: 500\r\n");
  harness.Exchange("AT+CMGS=12\r");
  EXPECT_EQ(harness.Exchange("B100049144970000A702E834\x1a"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(harness.Sent().size(), 1u);
}

TEST(SimPduMode, EscapeAbandonsTheSend) {
  TerminalHarness harness;
  Quiet(harness);
  EXPECT_EQ(harness.Exchange("AT+CMGS=12\r"), "\r\n> ");
  EXPECT_EQ(harness.Exchange("B10004\x1b"), "\r\nOK\r\n");
  EXPECT_TRUE(harness.Sent().empty());
  EXPECT_EQ(harness.Exchange("AT\r"), "\r\nOK\r\n");
}

TEST(SimPduMode, IndicatesNewMessagesWhenAskedTo) {
  TerminalHarness harness;
  Quiet(harness);
  harness.terminal().Deliver("+4479", "one");
  EXPECT_EQ(harness.TakeOutput(), "");  // +CNMI not set
  harness.Exchange("AT+CNMI=0,1,0,0\r");
  harness.terminal().Deliver("+4479", "two");
  EXPECT_EQ(harness.TakeOutput(), "\r\n+CMTI: \"SM\",2\r\n");
  harness.terminal().Store("+4479", "three");
  EXPECT_EQ(harness.TakeOutput(), "");
  // While the terminal waits for PDU text the indication waits for the final result.
  harness.Exchange("AT+CMGS=12\r");
  harness.terminal().Deliver("+4479", "four");
  EXPECT_EQ(harness.TakeOutput(), "");
  EXPECT_EQ(harness.Exchange("B100049144970000A702E834\x1a"),
            "\r\n+CMGS: 1\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",4\r\n");
  harness.Exchange("AT+CNMI=,0\r");  // an omitted parameter keeps its value
  EXPECT_EQ(harness.Exchange("AT+CNMI?\r"), "\r\n+CNMI: 0,0,0,0,0\r\n\r\nOK\r\n");
  harness.terminal().Deliver("+4479", "five");
  EXPECT_EQ(harness.TakeOutput(), "");
  EXPECT_EQ(harness.Exchange("AT+CNMI=4\r"), "\r\nERROR\r\n");
}

TEST(SimPduMode, ListsReadsAndDeletesStoredMessages) {
  TerminalHarness harness;
  Quiet(harness);
  harness.terminal().Store("+4479", "hi");
  const std::string pdu = kStoredPdu;
  EXPECT_EQ(harness.Exchange("AT+CMGL=4\r"),
            "\r\n+CMGL: 1,0,,17\r\n" + pdu + "\r\n\r\nOK\r\n");
  // Listed once, the message is read.
  EXPECT_EQ(harness.Exchange("AT+CMGR=1\r"), "\r\n+CMGR: 1,,17\r\n" + pdu + "\r\n\r\nOK\r\n");
  ExpectExchanges(harness, {
      {"AT+CMGR=2\r", "\r\n+CMS ERROR: 321\r\n"},
      {"AT+CMGD=2\r", "\r\n+CMS ERROR: 321\r\n"},
      {"AT+CMGD=1\r", "\r\nOK\r\n"},
      {"AT+CMGR=1\r", "\r\n+CMS ERROR: 321\r\n"},
      {"AT+CMGL=4\r", "\r\nOK\r\n"},
      {"AT+CMGL=5\r", "\r\nERROR\r\n"},
  });
}

TEST(SimPduMode, ListFiltersByStatus) {
  TerminalHarness harness;
  Quiet(harness);
  for (const char* text : {"a", "b", "c"}) harness.terminal().Store("+4479", text);
  harness.Exchange("AT+CMGR=2\r");
  // "<index>,<stat> " of every header line of a listing.
  auto indices = [&harness](const char* command) {
    std::string listed;
    const std::string out = harness.Exchange(command);
    for (std::size_t at = out.find("+CMGL: "); at != std::string::npos;
         at = out.find("+CMGL: ", at + 1)) {
      listed += out.substr(at + 7, out.find(",,", at) - at - 7) + " ";
    }
    return listed;
  };
  EXPECT_EQ(indices("AT+CMGL=1\r"), "2,1 ");
  EXPECT_EQ(indices("AT+CMGL=2\r"), "");
  EXPECT_EQ(indices("AT+CMGL\r"), "1,0 3,0 ");  // unread ones, which then are read
  EXPECT_EQ(indices("AT+CMGL=0\r"), "");
  EXPECT_EQ(indices("AT+CMGL=4\r"), "1,1 2,1 3,1 ");
  EXPECT_EQ(harness.Exchange("AT+CMGD=0,4\r"), "\r\nOK\r\n");
  EXPECT_EQ(harness.terminal().Messages().Count(), 0);
}

TEST(SimPduMode, ShortHeadersLeaveOutTheAlphaField) {
  TerminalOptions options;
  options.shortHeaders = true;
  TerminalHarness harness(options);
  Quiet(harness);
  harness.terminal().Store("+4479", "hi");
  const std::string pdu = kStoredPdu;
  EXPECT_EQ(harness.Exchange("AT+CMGL=4\r"), "\r\n+CMGL: 1,0,17\r\n" + pdu + "\r\n\r\nOK\r\n");
  EXPECT_EQ(harness.Exchange("AT+CMGR=1\r"), "\r\n+CMGR: 1,17\r\n" + pdu + "\r\n\r\nOK\r\n");
}

TEST(SimPduMode, EntersBlockModeOnlyOnItsCommand) {
  TerminalHarness harness;
  Quiet(harness);
  EXPECT_EQ(harness.Exchange("AT*X\r"), "\r\nERROR\r\n");
  EXPECT_EQ(harness.Exchange("AT*T\r\r"), "\r\nOK\r\n");
  EXPECT_EQ(harness.terminal().Mode(), InterfaceMode::kBlock);

  TerminalOptions options;
  options.blockCommand = "+CESP";
  TerminalHarness standard(options);
  Quiet(standard);
  EXPECT_EQ(standard.Exchange("AT*T\r"), "\r\nERROR\r\n");
  EXPECT_EQ(standard.Exchange("at+cesp\r"), "\r\nOK\r\n");
  EXPECT_EQ(standard.terminal().Mode(), InterfaceMode::kBlock);
}

TEST(SimPduMode, SilentTerminalIgnoresTheGateway) {
  TerminalHarness harness;
  Quiet(harness);
  harness.terminal().SetSilent(true);
  EXPECT_EQ(harness.Exchange("AT\r"), "");
  harness.terminal().SetSilent(false);
  EXPECT_EQ(harness.Exchange("AT\r"), "\r\nOK\r\n");
}

}  // namespace
}  // namespace kavonet::sim
