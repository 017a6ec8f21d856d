// The POSIX serial control over a real pseudo-terminal. These tests touch real time but never
// assert how long anything took.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/default_platform.hpp"
#include "support/error_number.hpp"

namespace quandelstk {
namespace {

using testing::ErrorNumberOf;

constexpr std::int16_t kPort = 150;

std::unique_ptr<SerialControl> Control(std::int16_t port) {
  auto gsm = platform::DefaultPlatform()->MakeSerialControl();
  gsm->CommPort(port);
  return gsm;
}

std::unique_ptr<SerialControl> OpenControl(const std::string& settings = "115200,N,8,1") {
  auto gsm = Control(kPort);
  gsm->Settings(settings);
  gsm->PortOpen(true);
  return gsm;
}

class PtySerial : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0);
    slave_path_ = ::ptsname(master_);
    // Our own view of the line, opened before the control makes it exclusive.
    slave_ = ::open(slave_path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave_, 0);
    AssignPort(kPort, slave_path_);
  }
  void TearDown() override {
    ResetPortTable();
    ::close(slave_);
    ::close(master_);
  }

  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

TEST_F(PtySerial, OpensRawAtTheRequestedSpeed) {
  auto gsm = OpenControl("115200,N,8,1");
  termios tio{};
  ASSERT_EQ(::tcgetattr(slave_, &tio), 0);
  EXPECT_EQ(::cfgetispeed(&tio), B115200);
  EXPECT_EQ(::cfgetospeed(&tio), B115200);
  EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | ISTRIP), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  gsm->Settings("9600,N,8,1");  // applied at once on an open port
  ASSERT_EQ(::tcgetattr(slave_, &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), B9600);
}

TEST_F(PtySerial, ASecondOpenerIsRefusedUntilTheFirstCloses) {
  std::string why;
  auto run = [&] {
    auto first = OpenControl();
    auto second = Control(kPort);
    const int refused = ErrorNumberOf([&] { second->PortOpen(true); }, &why);
    first->PortOpen(false);
    return std::pair{refused, ErrorNumberOf([&] { second->PortOpen(true); })};
  };
  EXPECT_EQ(run(), std::pair(8005, 0));  // the lock refuses even root, who ignores the exclusive flag
  EXPECT_NE(why.find(slave_path_), std::string::npos) << why;
  std::pair<int, int> as_user;
  std::thread user([&] {
    // Capabilities are per thread: this one loses the administrator's right to ignore exclusivity.
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    ::syscall(SYS_capget, &header, caps);
    caps[0].effective &= ~(1u << CAP_SYS_ADMIN);
    ::syscall(SYS_capset, &header, caps);
    as_user = run();
  });
  user.join();
  EXPECT_EQ(as_user, std::pair(8005, 0));
}

TEST(PosixSerial, MissingDevicesAndClosedPorts) {
  AssignPort(151, "/dev/qstk-no-such-tty");
  auto gsm = Control(151);
  std::string why;
  EXPECT_EQ(ErrorNumberOf([&] { gsm->PortOpen(true); }, &why), 8002);
  EXPECT_NE(why.find("/dev/qstk-no-such-tty"), std::string::npos) << why;
  ResetPortTable();
  gsm->CommPort(500);  // no device in the table
  EXPECT_EQ(ErrorNumberOf([&] { gsm->PortOpen(true); }), 8002);
  EXPECT_EQ(ErrorNumberOf([&] { gsm->CommPort(0); }), 8002);
  EXPECT_EQ(ErrorNumberOf([&] { gsm->Output("AT\r"); }), 8012);
  EXPECT_EQ(ErrorNumberOf([&] { gsm->Input(); }), 8012);
  EXPECT_EQ(ErrorNumberOf([&] { gsm->PortOpen(false); }), 8012);
}

TEST_F(PtySerial, InputReturnsEverythingWaiting) {
  auto gsm = OpenControl();
  std::string sent(4000, ' ');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i % 256);
  ASSERT_EQ(::write(master_, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
  int waiting = 0;
  for (int tries = 0; tries < 5000 && waiting < 4000; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::ioctl(slave_, FIONREAD, &waiting);
  }
  ASSERT_EQ(waiting, 4000);
  EXPECT_EQ(gsm->Input(), sent);
  EXPECT_EQ(gsm->Input(), "");
}

TEST_F(PtySerial, WaitForInputReturnsWhenAByteArrives) {
  auto gsm = OpenControl();
  std::thread modem([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(::write(master_, "x", 1), 1);
  });
  gsm->WaitForInput(3'600'000);  // an hour: a wait that ignores the byte fails by the test's timeout
  const std::string got = gsm->Input();
  modem.join();
  EXPECT_EQ(got, "x");
}

TEST_F(PtySerial, AWriteNobodyReadsFailsWithinItsLimit) {
  // Nobody reads the other side: the pseudo-terminal's buffer fills and the write has to give up.
  // How long it waits is the exchange tests' (virtual time); a write that never gave up would hang here.
  auto gsm = OpenControl();
  std::string description;
  EXPECT_EQ(ErrorNumberOf([&] { gsm->Output(std::string(4 << 20, 'A'), 1500); }, &description), 8021);
  EXPECT_NE(description.find("Write timed out on port 150 (" + slave_path_ + ")"), std::string::npos)
      << description;
  EXPECT_TRUE(gsm->PortOpen());
}

}  // namespace
}  // namespace quandelstk
