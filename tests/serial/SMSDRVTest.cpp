#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "serial/FakeCommPort.h"
#include "serial/SMSDRV.h"

namespace kavonet {
namespace {

using Log = std::vector<std::string>;
using D = SMSDRV32;
using P = FakeCommPort;

struct Case {
  const char* name;
  std::function<void(D&, P&, Log& out)> act;
  Log out;       // received blocks, and what the step pushed itself ("|" marks a point)
  Log log = {};  // the port's calls, when the case is about them
};

// The device's settings differ from every value the driver writes, so that a setter that
// touches more than its own field shows in the log; its flag character is '~'. The log
// shows line settings as "BaudRate Parity StopBits ByteSize EvtChar".
void Check(const Case& c) {
  P port;
  port.SetDcb({19200, 2, 2, 7, '~'});
  D driver(port);
  Log out;
  driver.OnRxBlock = [&](D&, const TBuffer& buffer, int count) {
    out.emplace_back(reinterpret_cast<const char*>(buffer.data()), count);
  };
  c.act(driver, port, out);
  EXPECT_EQ(out, c.out) << c.name;
  Log log;
  for (const std::string& call : port.Log()) {
    log.push_back(call.starts_with("SetCommState ") ? call.substr(call.find(' ') + 1) : call);
  }
  if (!c.log.empty()) {
    EXPECT_EQ(log, c.log) << c.name;
  }
}

// Opened as the main window does it: DSR and the flag event, line mode.
void LineMode(D& d, P& p) {
  d.MonitorEvents = {evDSR, evRxFlag};
  d.Open();
  d.SetHayesMode();
  p.ClearLog();
}

TEST(SMSDRV32, PortCallTable) {
  const std::string settled = "9600 0 0 8 126";
  const Case cases[] = {
      {"properties set while closed apply at the open, each alone, then events with EV_RXCHAR",
       [](D& d, P&, Log&) {
         d.DeviceName = "COM4", d.ReadBufferSize = 1000, d.WriteBufferSize = -1;
         d.SetBaudRate(cbr115200), d.SetParity(paOdd), d.SetStopbits(sb1_5), d.SetDatabits(da5);
         d.MonitorEvents = {evBreak, evError, evRing}, d.Open();
       }, {},
       {"Open COM4 1000 0", "115200 2 2 7 126", "115200 1 2 7 126", "115200 1 1 7 126",
        "115200 1 1 5 126", "StartEvents 0x1c1"}},
      {"reopening closes first, closing only closes an open port",
       [](D& d, P& p, Log&) { d.Close(), d.Open(), p.ClearLog(), d.Open(), d.Close(), d.Close(); },
       {}, {"Close", "Open COM2 16384 4096", settled, settled, settled, settled, "StartEvents 0x1ff",
            "Close"}},
      {"modes set the block type, the flag character and the prompt event",
       [](D& d, P& p, Log& out) {
         d.Open(), p.ClearLog();
         for (auto mode : {&D::SetBlockMode, &D::SetPDUMode, &D::SetTextMode, &D::SetHayesMode}) {
           d.SetBlockType(btText), (d.*mode)(), out.push_back(std::to_string(d.BlockType()));
         }
       },
       {"1", "2", "0", "0"},  // btBlock, btPDU, btHayes, btHayes
       {"9600 0 0 8 3", "SetPromptEvent off", "9600 0 0 8 10", "SetPromptEvent on", "9600 0 0 8 10",
        "SetPromptEvent off", "9600 0 0 8 10", "SetPromptEvent off"}}};
  for (const Case& c : cases) Check(c);
}

TEST(SMSDRV32, ReceiveTable) {
  std::string burst;
  Log lines;
  while (burst.size() < 3 * std::size_t{kBufferSize}) {
    lines.push_back("+CMGL: " + std::to_string(lines.size()) + ",1,,23\r");
    burst += lines.back() + "\n";
  }
  Log linesThenEmpty = lines;
  linesThenEmpty.emplace_back();
  const Case cases[] = {
      {"a purge drops the partial block, a reopen does not",
       [](D& d, P& p, Log&) {
         LineMode(d, p), p.Receive("PA\nRT"), d.PurgeInput(), p.Receive("OK\r\nAB\nC");
         LineMode(d, p), p.Receive("\r\n");
       },
       {"OK\r", "AB\nC\r"}},
      {"a prompt split over reads is cut by the prompt event, in PDU Mode set anew",
       [](D& d, P& p, Log& out) {
         LineMode(d, p), d.SetPDUMode(), p.ClearLog();
         d.OnRxBlock = [&](D&, const TBuffer&, int count) {
           out.push_back(std::to_string(count) + " after " + p.Log().at(0) + ", " + p.Log().at(1));
         };
         p.Receive("\r\n>"), out.push_back("|"), p.Receive(" ");
       },
       {"|", "1 after SetCommState 9600 0 0 8 10, SetPromptEvent on"}},
      {"without the flag event nothing is read below half the queue",
       [](D& d, P& p, Log& out) {
         d.MonitorEvents = {evDSR, evRxChar}, d.ReadBufferSize = 16, d.Open(), d.SetHayesMode();
         out.push_back(std::to_string(p.EventMask()));
         p.Receive("\r\nOK\r\n"), d.HandleCommEvent(EV_RXCHAR | EV_DSR), out.push_back(p.Pending());
         p.Receive("AB"), out.push_back(p.Pending());  // half the queue: read without a flag
       },
       {"17", "\r\nOK\r\n", "OK\r", ""}},
      {"a failed read delivers nothing and loses nothing",
       [](D& d, P& p, Log& out) {
         LineMode(d, p), p.failRead = true, p.Receive("OK\r\n"), out.push_back("|");
         p.failRead = false, p.Receive("X\r\n");
       },
       {"|", "OK\r", "X\r"}},
      {"more than a buffer is read in passes at once",
       [&](D& d, P& p, Log& out) { LineMode(d, p), p.Receive(burst), out.push_back(p.Pending()); },
       linesThenEmpty},
      {"a handler may close the port in the middle of a pass",
       [](D& d, P& p, Log& out) {
         d.ReadBufferSize = 1 << 20, LineMode(d, p);
         d.OnRxBlock = [&](D& sender, const TBuffer&, int count) {
           out.push_back(std::to_string(count)), sender.Close();
         };
         p.Receive("A\r\n" + std::string(3 * std::size_t{kBufferSize}, 'x') + "\r\nB\r\n");
         out.push_back(d.Connected() ? "open" : "closed");
       },
       {"2", "closed"}},
      {"events come in their fixed order, DSR and CTS as the inverse of the hold flags",
       [](D& d, P& p, Log& out) {
         d.Open();  // all nine events; '~' is the flag
         const auto line = [&](std::string name) {
           return [&out, name](D&, bool on) { out.push_back(name + (on ? " on" : " off")); };
         };
         d.OnRxBlock = [&](D&, const TBuffer&, int) { out.push_back("RxBlock"); };
         d.OnErrorSignal = [&](D&, int errors) { out.push_back("Error " + std::to_string(errors)); };
         d.OnDSRSignal = line("DSR"), d.OnCTSSignal = line("CTS");
         d.OnRingSignal = [&](D&) { out.push_back("Ring"); };
         p.Receive("OK\r\n"), out.push_back("|");  // EV_RXCHAR alone: nothing is read
         p.AddErrors(0x0A), p.Raise(0x1FF), p.SetDsrHold(true);
       },
       {"|", "RxBlock", "DSR on", "CTS on", "Error 10", "Ring", "DSR off"}},
      {"writes are queued, a refusal is no write; the driver closes its port when it goes",
       [](D& d, P& p, Log& out) {
         const std::uint8_t at[] = {'A', 'T', '\r'};
         out.push_back(std::to_string(d.WriteBlock(at, 3)));
         d.Open(), out.push_back(std::to_string(d.WriteBlock(at, 3)));
         p.failWrite = true, out.push_back(std::to_string(d.WriteBlock(at, 3)));
         out.insert(out.end(), p.Written().begin(), p.Written().end());
         D(p).Open();
         out.push_back(p.IsOpen() ? "open" : "closed");
       },
       {"0", "3", "0", "AT\r", "closed"}}};
  for (const Case& c : cases) Check(c);
}

}  // namespace
}  // namespace kavonet
