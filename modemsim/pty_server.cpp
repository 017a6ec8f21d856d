#include "modemsim/pty_server.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace quandelstk::modemsim {

namespace {

long long SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

long BaudOf(speed_t speed) {
  static const std::pair<speed_t, long> kSpeeds[] = {
      {B50, 50},           {B75, 75},           {B110, 110},        {B134, 134},       {B150, 150},
      {B200, 200},         {B300, 300},         {B600, 600},        {B1200, 1200},     {B1800, 1800},
      {B2400, 2400},       {B4800, 4800},       {B9600, 9600},      {B19200, 19200},   {B38400, 38400},
      {B57600, 57600},     {B115200, 115200},   {B230400, 230400},  {B460800, 460800}, {B921600, 921600},
      {B1000000, 1000000}, {B2000000, 2000000}, {B4000000, 4000000}};
  for (const auto& [s, baud] : kSpeeds)
    if (s == speed) return baud;
  return 0;
}

}  // namespace

PtyServer::PtyServer(Model& model, Transcript* transcript)
    : model_(model), transcript_(transcript), start_ns_(SteadyNs()) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) Fail("posix_openpt");
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) Fail("grantpt/unlockpt");
  const char* name = ::ptsname(master_);
  if (!name) Fail("ptsname");
  device_path_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY);
  if (slave_ < 0) Fail("open " + device_path_);
  // Raw until a client says otherwise: no echo or line editing by the terminal itself.
  termios tio{};
  if (::tcgetattr(slave_, &tio) != 0) Fail("tcgetattr");
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, B9600);
  ::cfsetospeed(&tio, B9600);
  ::tcsetattr(slave_, TCSANOW, &tio);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyServer::~PtyServer() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

TimeMs PtyServer::Now() const {
  return (SteadyNs() - start_ns_) / 1000000;
}

long PtyServer::ClientSpeed() const {
  termios tio{};
  if (::tcgetattr(slave_, &tio) != 0) return 0;
  return BaudOf(::cfgetospeed(&tio));
}

void PtyServer::Write(const std::string& bytes, TimeMs now) {
  if (transcript_) transcript_->Record(now, "tx", bytes);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{master_, POLLOUT, 0};
      if (::poll(&p, 1, 100) <= 0) return;  // nobody reads: the rest is lost, as on a real line
    } else if (n < 0 && errno != EINTR) {
      return;
    }
  }
}

void PtyServer::Serve(const volatile std::sig_atomic_t& stop) {
  // Stop signals are let in only while the server waits, so that one that sets the stop flag always
  // ends the wait at once instead of arriving just before it.
  // Only the signals that stop or wake it: a crash signal must still reach its default action (and
  // a sanitizer's report).
  sigset_t stopping, open_mask;
  ::sigemptyset(&stopping);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2}) ::sigaddset(&stopping, sig);
  ::pthread_sigmask(SIG_BLOCK, &stopping, &open_mask);
  long speed = ClientSpeed();
  TimeMs looked = Now();  // when the client's speed was last read
  model_.Speed(speed, looked);
  // The model runs only when the server wakes, and it wakes for everything that falls due, so a speed
  // the client set meanwhile may be taken as set right after the last look.
  auto follow_client_speed = [&] {
    if (const long s = ClientSpeed(); s != speed) model_.Speed(speed = s, looked);
  };
  char buffer[4096];
  while (!stop) {
    follow_client_speed();
    TimeMs now = looked = Now();
    if (std::string out = model_.Transmit(now); !out.empty()) Write(out, now);
    // Until input, a signal or what falls due next; with nothing due, no timeout at all.
    timespec until_due{};
    const timespec* timeout = nullptr;
    if (const auto due = model_.NextDueAt()) {
      const TimeMs wait = std::max<TimeMs>(*due - now, 0);
      until_due = {static_cast<time_t>(wait / 1000), static_cast<long>(wait % 1000) * 1000000};
      timeout = &until_due;
    }
    pollfd p{master_, POLLIN, 0};
    if (::ppoll(&p, 1, timeout, &open_mask) <= 0 || !(p.revents & POLLIN)) continue;
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) continue;
    follow_client_speed();
    now = looked = Now();
    if (transcript_) transcript_->Record(now, "rx", std::string_view(buffer, static_cast<std::size_t>(n)));
    model_.Receive(std::string_view(buffer, static_cast<std::size_t>(n)), now);
  }
  ::pthread_sigmask(SIG_SETMASK, &open_mask, nullptr);
}

}  // namespace quandelstk::modemsim
