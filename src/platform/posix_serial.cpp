#ifndef _WIN32
#include "platform/posix_serial.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/line_settings.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::platform {

namespace {

speed_t SpeedOf(long baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B0;
  }
}

}  // namespace

PosixSerialControl::~PosixSerialControl() { Close(); }

std::string PosixSerialControl::DeviceText() const {
  const std::string device = device_.empty() ? PortDevice(port_) : device_;
  return "port " + std::to_string(port_) + (device.empty() ? "" : " (" + device + ")");
}

void PosixSerialControl::Raise(std::int32_t number, const std::string& what) const {
  throw RuntimeError(number, what);
}

void PosixSerialControl::CommPort(std::int16_t port) {
  if (PortOpen())
    Raise(err::kPortAlreadyOpen, "Port already open: close " + DeviceText() + " before changing the port number");
  if (port < 1)
    Raise(err::kInvalidPortNumber, "Invalid port number " + std::to_string(port) + ": port numbers start at 1");
  port_ = port;
}

void PosixSerialControl::Settings(const std::string& settings) {
  if (!ParseLineSettings(settings))
    Raise(err::kInvalidPropertyValue,
          "Invalid property value: \"" + settings + "\" is not a line setting such as \"115200,N,8,1\"");
  if (PortOpen()) Apply(settings);
  settings_ = settings;
}

void PosixSerialControl::PortOpen(bool open) {
  if (open) {
    if (PortOpen()) Raise(err::kPortAlreadyOpen, "Port already open: " + DeviceText() + " is already open");
    Open();
  } else {
    if (!PortOpen()) Raise(err::kPortNotOpen, "Port not open: " + DeviceText() + " is not open");
    Close();
  }
}

void PosixSerialControl::Open() {
  const std::string device = PortDevice(port_);
  if (device.empty())
    Raise(err::kInvalidPortNumber, "Invalid port number: port " + std::to_string(port_) +
                                       " has no device in the port table; assign one or give a device path");
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    const std::string where = "port " + std::to_string(port_) + " (" + device + ")";
    if (e == ENOENT || e == ENODEV || e == ENXIO || e == ENOTDIR)
      Raise(err::kInvalidPortNumber, "Invalid port number: " + where + " does not exist");
    if (e == EBUSY)
      Raise(err::kPortAlreadyOpen, "Port already open: " + where + " is held by another program");
    Raise(err::kHardwareNotAvailable, "Hardware not available: cannot open " + where + ": " + std::strerror(e));
  }
  // A second opener of the same device, in this or another program, must be refused. A device that
  // is no terminal cannot be made exclusive; the settings below then report it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY)) {
    const int e = errno;
    ::close(fd);
    if (e == EWOULDBLOCK || e == EBUSY)
      Raise(err::kPortAlreadyOpen,
            "Port already open: port " + std::to_string(port_) + " (" + device + ") is held by another program");
    Raise(err::kHardwareNotAvailable, "Hardware not available: cannot lock " + device + ": " + std::strerror(e));
  }
  fd_ = fd;
  device_ = device;
  try {
    Apply(settings_);
  } catch (...) {
    Close();
    throw;
  }
}

void PosixSerialControl::Apply(const std::string& settings) {
  const auto parsed = ParseLineSettings(settings);
  const speed_t speed = SpeedOf(parsed->baud);
  if (speed == B0)
    Raise(err::kBaudRateNotSupported,
          "Baud rate not supported: " + std::to_string(parsed->baud) + " on " + DeviceText());
  termios tio{};
  if (::tcgetattr(fd_, &tio) != 0)
    Raise(err::kCouldNotSetCommState,
          "Could not set comm state: " + DeviceText() + " is not a serial device: " + std::strerror(errno));
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= parsed->data_bits == 7 ? CS7 : CS8;
  if (parsed->parity != 'N') tio.c_cflag |= PARENB | (parsed->parity == 'O' ? PARODD : 0);
  if (parsed->stop_bits == 2) tio.c_cflag |= CSTOPB;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
    Raise(err::kCouldNotSetCommState, "Could not set comm state of " + DeviceText() + ": " + std::strerror(errno));
}

void PosixSerialControl::Close() {
  if (fd_ < 0) return;
  // A pseudo-terminal keeps its exclusive flag while its other side is open: without clearing it,
  // nobody but root could open the port again.
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);  // releases the flock too
  fd_ = -1;
  device_.clear();
}

void PosixSerialControl::Output(const std::string& text, std::int32_t max_ms) {
  if (!PortOpen()) Raise(err::kPortNotOpen, "Port not open: " + DeviceText() + " is not open; call Init first");
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(max_ms, 0));
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The driver's buffer is full: wait for room, but never longer than the write may take.
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
      if (left <= 0)
        Raise(err::kWriteError, "Write timed out on " + DeviceText() + ": the line took " + std::to_string(done) +
                                    " of " + std::to_string(text.size()) + " bytes in " + std::to_string(max_ms) +
                                    " ms; the device has stopped reading. Check that the modem is powered and "
                                    "connected, then call Init again");
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(left));
      continue;
    }
    Raise(err::kWriteError, "Write error on " + DeviceText() + ": " + std::strerror(errno));
  }
}

std::string PosixSerialControl::Input() {
  if (!PortOpen()) Raise(err::kPortNotOpen, "Port not open: " + DeviceText() + " is not open; call Init first");
  std::string text;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n > 0) {
      text.append(buf, static_cast<std::size_t>(n));
      // A short read has emptied the driver's buffer: asking again would only cost a system call.
      if (static_cast<std::size_t>(n) < sizeof buf) return text;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) return text;
    // A vanished device (the other end of a pseudo-terminal gone) reads as EIO.
    if (!text.empty()) return text;
    Raise(err::kReadError, "Read error on " + DeviceText() + ": " + std::strerror(errno));
  }
}

void PosixSerialControl::WaitForInput(std::int32_t max_ms) {
  if (max_ms <= 0) return;
  if (!PortOpen()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(max_ms));
    return;
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(max_ms);
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
    if (left <= 0) return;
    const int r = ::poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r > 0 && (p.revents & POLLIN)) return;
    if (r > 0) {  // hang-up or error without data: do not spin, let the next read report it
      std::this_thread::sleep_until(until);
      return;
    }
    return;
  }
}

}  // namespace quandelstk::platform
#endif
