#include "device_check.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "quandelstk/errors.hpp"

namespace quandelstk::cli {

namespace {

constexpr const char* kHeldAdvice =
    " is held by another program, often ModemManager, which probes every new modem: see who has it with "
    "\"fuser -v {}\", and stop ModemManager (sudo systemctl stop ModemManager) or mark the device to be "
    "ignored by it (a udev rule with ENV{ID_MM_DEVICE_IGNORE}=\"1\")";

std::string Held(const std::string& path) {
  std::string text = std::string("Port already open: ") + path + kHeldAdvice;
  const auto at = text.find("{}");
  return text.replace(at, 2, path);
}

}  // namespace

std::string OpenFailureAdvice(const std::string& path, int error) {
  if (error == EACCES || error == EPERM)
    return "Hardware not available: no permission to open " + path +
           ": add your user to the group that owns it (on Debian: sudo usermod -aG dialout $USER), then log in "
           "again; ls -l " + path + " shows the group";
  if (error == EBUSY) return Held(path);
  return "";
}

void CheckSerialDevice(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    const std::string advice = OpenFailureAdvice(path, e);
    if (advice.empty()) return;  // Init reports the rest as it meets them
    throw RuntimeError(e == EBUSY ? err::kPortAlreadyOpen : err::kHardwareNotAvailable, advice);
  }
  if (!::isatty(fd)) {
    ::close(fd);
    throw RuntimeError(err::kCouldNotSetCommState,
                       "Could not set comm state: " + path +
                           " is not a serial port; give the modem's device, usually /dev/ttyUSB0 or /dev/ttyACM0 "
                           "(ls /dev/serial/by-id/ names the modems plugged in)");
  }
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  const int e = errno;
  ::close(fd);  // the lock goes with it: Init takes its own
  if (!locked && (e == EWOULDBLOCK || e == EAGAIN)) throw RuntimeError(err::kPortAlreadyOpen, Held(path));
}

}  // namespace quandelstk::cli
