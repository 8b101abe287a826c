// The POSIX port over a pseudo-terminal: the test holds the master (the modem's side)
// and, like the simulator, a slave descriptor of its own. Each wait is bounded.

#include "serial/PosixCommPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "loop/PollEventLoop.h"
#include "serial/SMSDRV.h"
#include "tests/loop/HeldLoop.h"

namespace kavonet {
namespace {

using namespace std::chrono_literals;
constexpr auto kTimeout = 5s;

// Writes everything to a non-blocking descriptor, waiting while it is full.
bool WriteAll(int fd, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    pollfd out{fd, POLLOUT, 0};
    if (n > 0) done += static_cast<std::size_t>(n);
    else if (n == 0 || (errno != EINTR && (errno != EAGAIN || poll(&out, 1, 5000) <= 0))) return false;
  }
  return true;
}

const std::uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}

class Pty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK), 0);
  }
  void TearDown() override {
    port.Close();
    if (master >= 0) close(master);
    close(slave);
  }
  PosixCommPort::DeviceResolver Resolver() {
    return [this](const std::string& name) {
      return name == "COM7" ? ttyname(slave) : name == "NULL" ? "/dev/null" : "/none/" + name;
    };
  }
  // Reads from the master until `count` bytes have come, running the loop meanwhile.
  std::string ReadMaster(std::size_t count) {
    std::string got;
    char chunk[4096];
    loop.WatchFd(master, POLLIN, [&](short) {
      got.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(read(master, chunk, 4096), 0)));
    });
    loop.RunUntil([&] { return got.size() >= count; }, kTimeout);
    loop.UnwatchFd(master);
    return got;
  }
  // Both queues at their minimum sizes.
  bool OpenWithFlag(CommPort::EventHandler handler) {
    DCB dcb;
    if (!port.Open("COM7", 0, 0) || !port.GetCommState(dcb)) return false;
    dcb.EvtChar = '\n';
    return port.SetCommState(dcb) && port.StartEvents(EV_RXFLAG | EV_ERR, std::move(handler));
  }

  int master = -1, slave = -1;
  PollEventLoop loop;
  PosixCommPort port{loop, Resolver()};
};

TEST_F(Pty, OpensRawAndExclusivelyAndRefusesWhatItCannotUse) {
  std::uint8_t byte = 0;
  DCB dcb;
  EXPECT_FALSE(port.GetCommState(dcb) || port.Write(&byte, 1) || port.PurgeComm(PURGE_TXCLEAR) ||
               port.StartEvents(EV_RXFLAG, {}) || port.Read(&byte, 1) != -1);
  EXPECT_EQ(port.LastError(), EBADF) << "closed";
  for (const auto& [name, error] : {std::pair{"COM3", ENOENT}, std::pair{"NULL", ENOTTY}}) {
    EXPECT_FALSE(port.Open(name, 0, 0));
    EXPECT_EQ(port.LastError(), error) << name;
  }
  ASSERT_TRUE(port.Open("COM7", 0, 0));
  EXPECT_EQ(port.DevicePath(), ttyname(slave));
  termios settings{};
  ASSERT_EQ(tcgetattr(master, &settings), 0);
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(settings.c_oflag & OPOST, 0u);
  PosixCommPort other(loop, Resolver());
  EXPECT_FALSE(other.Open("COM7", 0, 0));
  EXPECT_EQ(other.LastError(), EBUSY);
  port.Close();
  EXPECT_TRUE(other.Open("COM7", 0, 0));
  other.Close();
  // A gateway killed with the port open: the terminal outlives it, and an exclusive flag
  // left behind would lock every user but root out.
  const pid_t child = fork();
  if (child == 0) _exit(port.Open("COM7", 0, 0) ? raise(SIGKILL) : 1);
  int status = 0, exclusive = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ioctl(slave, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
}

// Speeds and frame settings reach the device or are refused whole (a pseudo-terminal
// keeps no frame settings, so only their refusals show).
TEST_F(Pty, LineSettingsShowOnTheDevice) {
  ASSERT_TRUE(port.Open("COM7", 0, 0));
  DCB dcb;
  ASSERT_TRUE(port.GetCommState(dcb));
  for (const auto& [rate, stopBits, byteSize, accepted, device] :
       {std::tuple{115200u, 1, 5, true, B115200}, {14400u, 0, 8, false, B115200},
        {2400u, 1, 8, false, B115200}, {2400u, 3, 8, false, B115200}, {2400u, 0, 8, true, B2400}}) {
    dcb.BaudRate = rate, dcb.StopBits = static_cast<std::uint8_t>(stopBits);
    dcb.ByteSize = static_cast<std::uint8_t>(byteSize);
    EXPECT_EQ(port.SetCommState(dcb), accepted) << rate << stopBits;
    termios settings{};
    ASSERT_EQ(tcgetattr(master, &settings), 0);
    EXPECT_EQ(cfgetospeed(&settings), device) << rate;
  }
  EXPECT_EQ(port.LastError(), EINVAL);
  ASSERT_TRUE(port.GetCommState(dcb));
  EXPECT_EQ(dcb.BaudRate, 2400u);
}

TEST_F(Pty, BlocksAndPromptsArriveInOrderOnTheLoopThreadAndWritesGoOut) {
  SMSDRV32 driver(port);
  driver.DeviceName = "COM7";
  driver.MonitorEvents = {evDSR, evRxFlag};
  std::vector<std::string> blocks, expected;
  const auto loopThread = std::this_thread::get_id();
  driver.OnRxBlock = [&](SMSDRV32&, const TBuffer& buffer, int count) {
    EXPECT_EQ(std::this_thread::get_id(), loopThread);
    blocks.emplace_back(reinterpret_cast<const char*>(buffer.data()), count);
  };
  driver.Open();
  driver.SetHayesMode();
  std::string modem;
  for (int i = 0; i < 200; ++i) {
    expected.push_back("+CMTI: \"SM\"," + std::to_string(i) + "\r");
    modem += "\r\n" + expected.back() + "\n";
  }
  std::thread terminal([&] {
    for (std::size_t at = 0; at < modem.size(); at += 37) WriteAll(master, modem.substr(at, 37));
  });
  EXPECT_TRUE(loop.RunUntil([&] { return blocks.size() >= expected.size(); }, kTimeout));
  terminal.join();
  // A prompt has no line feed: only the prompt event makes the cutter see it, also after
  // a line that never ends and is far longer than the input queue.
  driver.SetPDUMode();
  ASSERT_TRUE(WriteAll(master, "> "));
  EXPECT_TRUE(loop.RunUntil([&] { return blocks.size() > expected.size(); }, kTimeout));
  std::thread flood([&] { WriteAll(master, std::string(100000, 'x') + "> "); });
  expected.insert(expected.end(), {">", ">"});
  EXPECT_TRUE(loop.RunUntil([&] { return blocks.size() >= expected.size(); }, kTimeout));
  flood.join();
  EXPECT_EQ(blocks, expected);
  EXPECT_EQ(port.OverrunCount(), 0u);
  const std::string command = "AT+CMGL=4\r";
  EXPECT_EQ(driver.WriteBlock(Bytes(command), 10), 10);
  EXPECT_EQ(ReadMaster(command.size()), command);
}

TEST_F(Pty, QueuesHaveLimitsAndPurgesEmptyThem) {
  std::vector<std::uint32_t> masks;
  std::uint32_t errors = 0;
  COMSTAT status;
  ASSERT_TRUE(OpenWithFlag([&](std::uint32_t mask) {
    masks.push_back(mask);
    if (mask & EV_RXFLAG) port.ClearCommError(errors, status);
  }));
  const std::string tooMuch(PosixCommPort::kMinimumOutputQueue + 1, 'x');
  EXPECT_FALSE(port.Write(Bytes(tooMuch), static_cast<int>(tooMuch.size())));
  EXPECT_EQ(port.LastError(), ENOBUFS);
  std::string data;
  for (int i = 0; data.size() < 60000; ++i) data += std::to_string(i) + ",";
  ASSERT_TRUE(port.Write(Bytes(data), static_cast<int>(data.size())));
  EXPECT_EQ(ReadMaster(data.size()), data) << "more than the device takes at once, in order";
  // Past the input queue bytes are dropped and counted, and the flag still comes through.
  const std::string burst = std::string(10000, 'x') + "\n";
  std::thread terminal([&] { WriteAll(master, burst); });
  EXPECT_TRUE(loop.RunUntil([&] { return !masks.empty() && (masks.back() & EV_RXFLAG); }, kTimeout));
  terminal.join();
  EXPECT_NE(masks.back() & EV_ERR, 0u);
  EXPECT_EQ(errors, CE_RXOVER);
  EXPECT_EQ(status.cbInQue, PosixCommPort::kMinimumInputQueue);
  EXPECT_EQ(port.OverrunCount(), burst.size() - PosixCommPort::kMinimumInputQueue);
  std::uint8_t queued[20];
  EXPECT_EQ(port.Read(queued, 20), 20);
  EXPECT_TRUE(port.PurgeComm(PURGE_RXABORT | PURGE_RXCLEAR));
  ASSERT_TRUE(port.ClearCommError(errors, status));
  EXPECT_EQ(status.cbInQue, 0u);
  EXPECT_FALSE(status.fDsrHold);
}

TEST_F(Pty, ClosingFromTheHandlerWithAHandOffPendingOrAfterAHangUpEndsTheReader) {
  ASSERT_TRUE(OpenWithFlag([&](std::uint32_t) { port.Close(); }));
  ASSERT_TRUE(WriteAll(master, "x\n"));
  EXPECT_TRUE(loop.RunUntil([&] { return !port.IsOpen(); }, kTimeout)) << "without a deadlock";

  testing::HeldLoop stalled;  // never gets round to the hand-off
  PosixCommPort stalledPort(stalled, Resolver());
  bool handled = false;
  ASSERT_TRUE(stalledPort.Open("COM7", 0, 0));
  ASSERT_TRUE(stalledPort.StartEvents(EV_RXCHAR, [&](std::uint32_t) { handled = true; }));
  ASSERT_TRUE(WriteAll(master, "x"));
  ASSERT_TRUE(stalled.WaitForPosts(1));
  stalledPort.Close();  // returns though the reader waits for the loop thread
  EXPECT_FALSE(stalledPort.EventThreadRunning());
  EXPECT_EQ(stalled.RunPosted(), 1);
  EXPECT_FALSE(handled) << "an abandoned hand-off is never delivered";

  ASSERT_TRUE(OpenWithFlag([](std::uint32_t) {}));
  EXPECT_TRUE(port.EventThreadRunning());
  close(master);
  master = -1;
  auto tick = loop.CreateTimer(10ms, [] {});  // the reader ends without posting anything
  tick->SetEnabled(true);
  EXPECT_TRUE(loop.RunUntil([&] { return !port.EventThreadRunning(); }, kTimeout));
  const std::uint8_t byte = 'x';
  EXPECT_FALSE(port.Write(&byte, 1)) << "or the controller takes a dead port for a live one";
  EXPECT_EQ(port.LastError(), EIO);
}

}  // namespace
}  // namespace kavonet
