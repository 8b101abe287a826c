#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loop/PollEventLoop.h"
#include "loop/VirtualEventLoop.h"
#include "serial/PosixCommPort.h"
#include "serial/SMSDRV.h"

namespace kavonet {
namespace {

using namespace std::chrono_literals;

constexpr auto kTimeout = 5s;

// Writes everything to a non-blocking descriptor, waiting while it is full.
bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd out{fd, POLLOUT, 0};
      if (poll(&out, 1, 5000) <= 0) return false;
    } else if (!(n < 0 && errno == EINTR)) {
      return false;
    }
  }
  return true;
}

speed_t MasterSpeed(int master) {
  termios settings{};
  EXPECT_EQ(tcgetattr(master, &settings), 0);
  return cfgetospeed(&settings);
}

// A pseudo-terminal whose slave the port opens under the name "COM7". The test keeps
// the master (the modem's side) and, like the simulator, a slave descriptor of its own.
class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    slavePath = ttyname(slave);
    ASSERT_EQ(fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK), 0);
  }
  void TearDown() override {
    port.Close();
    if (master >= 0) close(master);
    close(slave);
  }

  std::string Resolve(const std::string& name) const {
    if (name == "COM7") return slavePath;
    if (name == "NULL") return "/dev/null";
    return "/nonexistent/" + name;
  }

  // Reads from the master until `count` bytes have come, running the loop meanwhile.
  std::string ReadMaster(std::size_t count) {
    std::string got;
    loop.WatchFd(master, POLLIN, [&](short) {
      char chunk[4096];
      const ssize_t n = read(master, chunk, sizeof chunk);
      if (n > 0) got.append(chunk, static_cast<std::size_t>(n));
    });
    loop.RunUntil([&] { return got.size() >= count; }, kTimeout);
    loop.UnwatchFd(master);
    return got;
  }

  // Runs the loop until `done`, looking at it at least every 10 ms: for conditions that
  // change on the reader thread without posting anything.
  bool RunUntilSeen(const std::function<bool()>& done) {
    auto tick = loop.CreateTimer(10ms, [] {});
    tick->SetEnabled(true);
    return loop.RunUntil(done, kTimeout);
  }

  bool OpenWithFlag(std::uint32_t mask, CommPort::EventHandler handler,
                    std::uint32_t inQueue = 16384, std::uint32_t outQueue = 4096) {
    if (!port.Open("COM7", inQueue, outQueue)) return false;
    DCB dcb;
    if (!port.GetCommState(dcb)) return false;
    dcb.EvtChar = '\n';
    return port.SetCommState(dcb) && port.StartEvents(mask, std::move(handler));
  }

  int master = -1;
  int slave = -1;
  std::string slavePath;
  PollEventLoop loop;
  PosixCommPort port{loop, [this](const std::string& name) { return Resolve(name); }};
};

TEST(PosixCommPortNames, ComNamesMapToSerialDevices) {
  const std::pair<const char*, const char*> cases[] = {
      {"COM1", "/dev/ttyS0"},
      {"com2", "/dev/ttyS1"},
      {"COM10", "/dev/ttyS9"},
      {"COM0", "COM0"},
      {"COM", "COM"},
      {"COMX", "COMX"},
      {"COM1x", "COM1x"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"", ""},
  };
  for (const auto& [name, path] : cases) {
    EXPECT_EQ(PosixCommPort::DefaultDevicePath(name), path) << name;
  }
}

TEST_F(PtyTest, OpensTheDeviceTheResolverNamesInRawMode) {
  ASSERT_TRUE(port.Open("COM7", 16384, 4096));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.DevicePath(), slavePath);
  EXPECT_EQ(port.LastError(), 0);
  termios settings{};
  ASSERT_EQ(tcgetattr(master, &settings), 0);
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(settings.c_oflag & OPOST, 0u);
}

TEST_F(PtyTest, OpenFailsForMissingDevicesAndNonTerminals) {
  EXPECT_FALSE(port.Open("COM3", 16384, 4096));
  EXPECT_EQ(port.LastError(), ENOENT);
  EXPECT_FALSE(port.Open("NULL", 16384, 4096));
  EXPECT_EQ(port.LastError(), ENOTTY);
  EXPECT_FALSE(port.IsOpen());
}

int ExclusiveMode(int fd) {
  int exclusive = -1;
  EXPECT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
  return exclusive;
}

TEST_F(PtyTest, ASecondOpenOfTheSameDeviceIsRefused) {
  ASSERT_TRUE(port.Open("COM7", 16384, 4096));
  PosixCommPort other(loop, [this](const std::string& name) { return Resolve(name); });
  EXPECT_FALSE(other.Open("COM7", 16384, 4096));
  EXPECT_EQ(other.LastError(), EBUSY);
  port.Close();
  EXPECT_TRUE(other.Open("COM7", 16384, 4096));
}

TEST_F(PtyTest, AGatewayKilledWithThePortOpenLeavesItOpenable) {
  const pid_t child = fork();
  if (child == 0) _exit(port.Open("COM7", 16384, 4096) ? raise(SIGKILL) : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  // The terminal outlives the killed port (the test holds the slave too): a flag left
  // behind would lock every user but root out of the next Open.
  EXPECT_EQ(ExclusiveMode(slave), 0);
}

TEST_F(PtyTest, LineSpeedChangesShowOnTheDevice) {
  SMSDRV32 driver(port);
  driver.DeviceName = "COM7";
  driver.Open();
  ASSERT_TRUE(driver.Connected());
  EXPECT_EQ(MasterSpeed(master), B9600);
  driver.SetBaudRate(cbr115200);
  EXPECT_EQ(MasterSpeed(master), B115200);
  driver.SetBaudRate(cbr14400);  // no such termios speed: refused, nothing changes
  EXPECT_EQ(port.LastError(), EINVAL);
  EXPECT_EQ(MasterSpeed(master), B115200);
  driver.Close();
  driver.SetBaudRate(cbr2400);
  driver.Open();
  EXPECT_EQ(MasterSpeed(master), B2400);
}

TEST_F(PtyTest, BlocksArriveInOrderOnTheLoopThreadAndWritesReachTheDevice) {
  SMSDRV32 driver(port);
  driver.DeviceName = "COM7";
  driver.MonitorEvents = {evDSR, evRxFlag};
  std::vector<std::string> blocks;
  bool allOnLoopThread = true;
  const auto loopThread = std::this_thread::get_id();
  driver.OnRxBlock = [&](SMSDRV32&, const TBuffer& buffer, int count) {
    allOnLoopThread = allOnLoopThread && std::this_thread::get_id() == loopThread;
    blocks.emplace_back(reinterpret_cast<const char*>(buffer.data()), count);
  };
  driver.Open();
  driver.SetHayesMode();

  std::vector<std::string> expected;
  std::string modem = "\r\nOK\r\n";
  expected.emplace_back("OK\r");
  for (int i = 0; i < 200; ++i) {
    expected.push_back("+CMTI: \"SM\"," + std::to_string(i) + "\r");
    modem += "\r\n" + expected.back() + "\n";
  }
  std::thread terminal([&] {
    for (std::size_t at = 0; at < modem.size(); at += 37) WriteAll(master, modem.substr(at, 37));
  });
  EXPECT_TRUE(loop.RunUntil([&] { return blocks.size() >= expected.size(); }, kTimeout));
  terminal.join();
  EXPECT_EQ(blocks, expected);
  EXPECT_TRUE(allOnLoopThread);

  const std::string command = "AT+CMGL=4\r";
  EXPECT_EQ(driver.WriteBlock(reinterpret_cast<const std::uint8_t*>(command.data()),
                              static_cast<int>(command.size())),
            static_cast<int>(command.size()));
  EXPECT_EQ(ReadMaster(command.size()), command);
}

TEST_F(PtyTest, PromptWithoutLineFeedIsCutByThePromptEvent) {
  SMSDRV32 driver(port);
  driver.DeviceName = "COM7";
  driver.MonitorEvents = {evDSR, evRxFlag};
  std::vector<std::string> blocks;
  driver.OnRxBlock = [&](SMSDRV32&, const TBuffer& buffer, int count) {
    blocks.emplace_back(reinterpret_cast<const char*>(buffer.data()), count);
  };
  driver.Open();
  driver.SetPDUMode();
  ASSERT_TRUE(WriteAll(master, "\r\nOK\r\n\r\n"));
  ASSERT_TRUE(loop.RunUntil([&] { return blocks.size() == 1; }, kTimeout));
  // Everything before has been read: only the prompt event can make the cutter see this.
  ASSERT_TRUE(WriteAll(master, "> "));
  EXPECT_TRUE(loop.RunUntil([&] { return blocks.size() == 2; }, kTimeout));
  // A line that never ends, far longer than the input queue: it goes, the prompt stays.
  std::thread terminal([&] { WriteAll(master, std::string(100000, 'x') + "> "); });
  EXPECT_TRUE(loop.RunUntil([&] { return blocks.size() == 3; }, kTimeout));
  terminal.join();
  EXPECT_EQ(blocks, (std::vector<std::string>{"OK\r", ">", ">"}));
  EXPECT_EQ(port.OverrunCount(), 0u);
}

TEST_F(PtyTest, WritesLargerThanTheDeviceTakesAreFlushedInOrder) {
  ASSERT_TRUE(OpenWithFlag(
      EV_RXFLAG, [](std::uint32_t) {}, 16384, 0));
  const std::string tooMuch(PosixCommPort::kMinimumOutputQueue + 1, 'x');
  EXPECT_FALSE(port.Write(reinterpret_cast<const std::uint8_t*>(tooMuch.data()),
                          static_cast<int>(tooMuch.size())));
  EXPECT_EQ(port.LastError(), ENOBUFS);

  std::string data;
  for (int i = 0; data.size() < 60000; ++i) data += std::to_string(i) + ",";
  ASSERT_TRUE(port.Write(reinterpret_cast<const std::uint8_t*>(data.data()),
                         static_cast<int>(data.size())));
  EXPECT_EQ(ReadMaster(data.size()), data);
}

TEST_F(PtyTest, AFullInputQueueDropsAndCountsTheExcessAndStillSignalsTheFlag) {
  std::vector<std::uint32_t> masks;
  std::uint32_t errors = 0;
  COMSTAT status;
  ASSERT_TRUE(OpenWithFlag(
      EV_RXFLAG | EV_ERR,
      [&](std::uint32_t mask) {
        masks.push_back(mask);
        if (mask & EV_RXFLAG) port.ClearCommError(errors, status);
      },
      100));  // raised to the minimum queue size
  const std::string burst = std::string(10000, 'x') + "\n";
  std::thread terminal([&] { WriteAll(master, burst); });
  EXPECT_TRUE(
      loop.RunUntil([&] { return !masks.empty() && (masks.back() & EV_RXFLAG); }, kTimeout));
  terminal.join();
  EXPECT_NE(masks.front() & EV_ERR, 0u);
  EXPECT_EQ(errors, CE_RXOVER);
  EXPECT_EQ(status.cbInQue, PosixCommPort::kMinimumInputQueue);
  EXPECT_EQ(port.OverrunCount(), burst.size() - PosixCommPort::kMinimumInputQueue);
  std::vector<std::uint8_t> queued(20000);
  EXPECT_EQ(port.Read(queued.data(), 20000), int(PosixCommPort::kMinimumInputQueue));
}

TEST_F(PtyTest, PurgeCommEmptiesTheInputQueue) {
  bool arrived = false;
  ASSERT_TRUE(OpenWithFlag(EV_RXCHAR, [&](std::uint32_t) { arrived = true; }));
  ASSERT_TRUE(WriteAll(master, "abc"));
  ASSERT_TRUE(loop.RunUntil([&] { return arrived; }, kTimeout));
  std::uint32_t errors = 0;
  COMSTAT status;
  ASSERT_TRUE(port.ClearCommError(errors, status));
  EXPECT_EQ(status.cbInQue, 3u);
  EXPECT_TRUE(port.PurgeComm(PURGE_RXABORT | PURGE_RXCLEAR));
  ASSERT_TRUE(port.ClearCommError(errors, status));
  EXPECT_EQ(status.cbInQue, 0u);
}

TEST_F(PtyTest, APseudoTerminalHasNoModemLines) {
  ASSERT_TRUE(port.Open("COM7", 16384, 4096));
  EXPECT_FALSE(port.EscapeCommFunction(LineFunction::SetDTR));
  EXPECT_EQ(port.LastError(), ENOTTY);
  std::uint32_t errors = 0;
  COMSTAT status;
  ASSERT_TRUE(port.ClearCommError(errors, status));
  EXPECT_FALSE(status.fDsrHold);
}

TEST_F(PtyTest, ClosedPortOperationsFail) {
  DCB dcb;
  std::uint8_t byte = 0;
  EXPECT_FALSE(port.GetCommState(dcb));
  EXPECT_EQ(port.LastError(), EBADF);
  EXPECT_EQ(port.Read(&byte, 1), -1);
  EXPECT_FALSE(port.Write(&byte, 1));
  EXPECT_FALSE(port.PurgeComm(PURGE_TXCLEAR));
  EXPECT_FALSE(port.StartEvents(EV_RXFLAG, [](std::uint32_t) {}));
}

TEST_F(PtyTest, ClosingInsideTheEventHandlerDoesNotDeadlock) {
  ASSERT_TRUE(OpenWithFlag(EV_RXFLAG, [&](std::uint32_t) { port.Close(); }));
  ASSERT_TRUE(WriteAll(master, "x\n"));
  EXPECT_TRUE(loop.RunUntil([&] { return !port.IsOpen(); }, kTimeout));
  EXPECT_TRUE(port.Open("COM7", 16384, 4096));
}

TEST_F(PtyTest, AHangUpEndsTheReaderThreadAndFailsWrites) {
  ASSERT_TRUE(OpenWithFlag(EV_RXFLAG, [](std::uint32_t) {}));
  EXPECT_TRUE(port.EventThreadRunning());
  close(master);
  master = -1;
  EXPECT_TRUE(RunUntilSeen([&] { return !port.EventThreadRunning(); }));
  EXPECT_TRUE(port.IsOpen());
  const std::uint8_t byte = 'x';
  EXPECT_FALSE(port.Write(&byte, 1));  // or the controller takes a dead port for a live one
  EXPECT_EQ(port.LastError(), EIO);
  port.Close();
  EXPECT_FALSE(port.IsOpen());
}

// A loop thread that never gets round to the hand-off: it only records that one was posted.
class StalledLoop : public VirtualEventLoop {
 public:
  void Post(std::function<void()> work) override {
    VirtualEventLoop::Post(std::move(work));
    std::lock_guard guard(mutex_);
    ++posted_;
    changed_.notify_all();
  }
  bool WaitForPost() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kTimeout, [this] { return posted_ > 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int posted_ = 0;
};

TEST_F(PtyTest, CloseWhileAHandOffIsPendingReleasesTheReader) {
  StalledLoop stalled;
  PosixCommPort stalledPort(stalled, [this](const std::string& name) { return Resolve(name); });
  std::atomic<bool> handled{false};
  ASSERT_TRUE(stalledPort.Open("COM7", 16384, 4096));
  DCB dcb;
  ASSERT_TRUE(stalledPort.GetCommState(dcb));
  dcb.EvtChar = '\n';
  ASSERT_TRUE(stalledPort.SetCommState(dcb));
  ASSERT_TRUE(stalledPort.StartEvents(EV_RXFLAG, [&](std::uint32_t) { handled = true; }));
  ASSERT_TRUE(WriteAll(master, "x\n"));
  ASSERT_TRUE(stalled.WaitForPost());  // the reader now waits for the loop thread
  stalledPort.Close();                 // returns: the hand-off is abandoned
  EXPECT_FALSE(stalledPort.EventThreadRunning());
  EXPECT_EQ(stalled.RunPosted(), 1);
  EXPECT_FALSE(handled);  // an abandoned hand-off is never delivered
}

}  // namespace
}  // namespace kavonet
