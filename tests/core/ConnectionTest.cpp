// Connecting: the init list, the PIN, the speed check and automatic connection.

#include <cerrno>

#include "SessionScript.h"

namespace kavonet::testing {
namespace {


class Connection : public ::testing::TestWithParam<Script> {};
TEST_P(Connection, Runs) { RunScript(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, Connection, ::testing::Values(
    // The whole initialisation list, answered with OK: each command with AT and CR.
    Script{"InitMem3IgnoredWithoutMem2", PduIni("Mem1=SM\nMem3=MT\n"), Start::Fresh, {
        {Events({Connect(), Initialise()}),
         W{"ATZE0&S0\r", "AT+CMGF=0\r", "AT+CPMS=\"SM\"\r", "AT+CSCA=\"\"\r", "AT+CNMI=0,0,0,0\r"},
         "Entered ETSI SMS PDU Mode OK", Connected(true)}}},
    Script{"ThePinCodeIsNeverShown", PduIni("PIN Code=4711\n"), Start::Fresh, {
        {Events({Connect(), Rx("\r\nOK\r\n")}), W{"ATZE0&S0\r", "AT+CPIN=\"4711\"\r"},
         "AT+CPIN=\"****\"\r"},
        {Rx("AT+CPIN=\"4711\"\r\r\n"), W{}, {}, [](ControllerHarness& h) {  // the echo
           for (const std::string& text : h.status.texts) EXPECT_EQ(text.find("4711"), std::string::npos);
         }}}},
    Script{"AnUnsupportedSpeedNeverOpensThePort", "[Configuration]\nSpeed=12345\n", Start::Fresh, {
        {Connect(), W{}, "Unsupported line speed 12345. Check COM port settings and try again.",
         [](ControllerHarness& h) {
           EXPECT_EQ(h.dialogs.errors, Strings{"Cannot connect at 12345 bit/s. The line speed must be one of "
                                               "2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600 or 115200."});
           EXPECT_EQ(h.shell.cursor, TCursor::crDefault);
           EXPECT_FALSE(h.main->CommDrv.Connected());
         }}}},
    // The auto connect timer ticking while its error box is open starts nothing.
    Script{"NoSecondBoxWhileTheFirstIsOpen", "[Startup]\nAuto Connect=1\n", Start::Fresh, {
        {[](ControllerHarness& h) {
           h.port.failOpenWith = ENOENT;
           h.dialogs.modal = &h.loop;
           h.main->FormActivate();
           h.dialogs.modal = nullptr;
         }, W{}, {}, Boxes(1)},
        {Wait(15000), W{}, {}, Boxes(2)}}}),  // the timer still retries
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavonet::testing
