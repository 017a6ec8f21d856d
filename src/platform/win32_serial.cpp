#ifdef _WIN32
#include "platform/win32_serial.hpp"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <set>

#include "platform/line_settings.hpp"
#include "quandelstk/errors.hpp"

namespace quandelstk::platform {

namespace {

HANDLE AsHandle(void* h) { return static_cast<HANDLE>(h); }

// The ports this program holds. Windows' serial drivers refuse a second open of a port, but not
// every driver does (Wine's mapping to a Unix device does not), and a port opened on two threads
// would mix their answers; so a second open within the program is refused here.
std::mutex held_mutex;
std::set<std::int16_t> held_ports;

bool Hold(std::int16_t port) {
  std::lock_guard lock(held_mutex);
  return held_ports.insert(port).second;
}

void Release(std::int16_t port) {
  std::lock_guard lock(held_mutex);
  held_ports.erase(port);
}

// Waits for an overlapped operation that is under way for at most max_ms; cancels it when the time
// is up. Returns the bytes it moved (also a cancelled one may have moved some) and whether it ended
// by itself.
DWORD Finish(HANDLE port, OVERLAPPED& ov, DWORD max_ms, bool& completed, DWORD& error) {
  completed = WaitForSingleObject(ov.hEvent, max_ms) == WAIT_OBJECT_0;
  if (!completed) CancelIo(port);
  DWORD moved = 0;
  error = 0;
  if (!GetOverlappedResult(port, &ov, &moved, TRUE)) {
    error = GetLastError();
    if (error == ERROR_OPERATION_ABORTED) error = 0;
    else completed = false;
  }
  return moved;
}

}  // namespace

std::string SystemErrorText(unsigned long code) {
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? std::string(buffer, n) : "system error " + std::to_string(code);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return text + " (" + std::to_string(code) + ")";
}

Win32SerialControl::~Win32SerialControl() { Close(); }

std::string Win32SerialControl::PortName() const { return "COM" + std::to_string(port_); }

void Win32SerialControl::Raise(std::int32_t number, const std::string& what) const {
  throw RuntimeError(number, what);
}

void Win32SerialControl::CommPort(std::int16_t port) {
  if (PortOpen())
    Raise(err::kPortAlreadyOpen, "Port already open: close " + PortName() + " before changing the port number");
  if (port < 1)
    Raise(err::kInvalidPortNumber, "Invalid port number " + std::to_string(port) + ": port numbers start at 1");
  port_ = port;
}

void Win32SerialControl::Settings(const std::string& settings) {
  if (!ParseLineSettings(settings))
    Raise(err::kInvalidPropertyValue,
          "Invalid property value: \"" + settings + "\" is not a line setting such as \"115200,N,8,1\"");
  if (PortOpen()) Apply(settings);
  settings_ = settings;
}

void Win32SerialControl::PortOpen(bool open) {
  if (open) {
    if (PortOpen()) Raise(err::kPortAlreadyOpen, "Port already open: " + PortName() + " is already open");
    Open();
  } else {
    if (!PortOpen()) Raise(err::kPortNotOpen, "Port not open: " + PortName() + " is not open");
    Close();
  }
}

void Win32SerialControl::Open() {
  if (!Hold(port_))
    Raise(err::kPortAlreadyOpen, "Port already open: " + PortName() + " is open on another thread of this program");
  // The device namespace form reaches COM10 and above too.
  const std::string path = "\\\\.\\" + PortName();
  const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    Release(port_);
    switch (e) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
      case ERROR_BAD_PATHNAME:
        Raise(err::kInvalidPortNumber, "Invalid port number: " + PortName() + " does not exist");
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
      case ERROR_BUSY:
        Raise(err::kPortAlreadyOpen, "Port already open: " + PortName() + " is held by another program");
      default:
        Raise(err::kHardwareNotAvailable, "Hardware not available: cannot open " + PortName() + ": " +
                                              SystemErrorText(e));
    }
  }
  handle_ = h;
  held_ = port_;
  read_event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  write_event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  try {
    if (!read_event_ || !write_event_)
      Raise(err::kHardwareNotAvailable, "Hardware not available: " + SystemErrorText(GetLastError()));
    Apply(settings_);
    // All zero: a read waits for the bytes it asks for, a write for its whole text. Input asks
    // only for what is queued, and waits are bounded by the overlapped waits below.
    COMMTIMEOUTS timeouts{};
    if (!SetCommTimeouts(h, &timeouts))
      Raise(err::kCouldNotSetCommState,
            "Could not set comm state of " + PortName() + ": " + SystemErrorText(GetLastError()));
    PurgeComm(h, PURGE_RXABORT | PURGE_TXABORT);
  } catch (...) {
    Close();
    throw;
  }
}

void Win32SerialControl::Apply(const std::string& settings) {
  const auto parsed = ParseLineSettings(settings);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(AsHandle(handle_), &dcb))
    Raise(err::kCouldNotSetCommState,
          "Could not set comm state: " + PortName() + " is not a serial port: " + SystemErrorText(GetLastError()));
  dcb.BaudRate = static_cast<DWORD>(parsed->baud);
  dcb.ByteSize = static_cast<BYTE>(parsed->data_bits);
  dcb.Parity = parsed->parity == 'E' ? EVENPARITY : parsed->parity == 'O' ? ODDPARITY : NOPARITY;
  dcb.StopBits = parsed->stop_bits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = parsed->parity != 'N';
  // No handshaking of any kind, and DTR and RTS raised as a terminal program leaves them.
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  if (!SetCommState(AsHandle(handle_), &dcb)) {
    const DWORD e = GetLastError();
    if (e == ERROR_INVALID_PARAMETER)
      Raise(err::kBaudRateNotSupported,
            "Baud rate not supported: " + std::to_string(parsed->baud) + " on " + PortName());
    Raise(err::kCouldNotSetCommState, "Could not set comm state of " + PortName() + ": " + SystemErrorText(e));
  }
}

void Win32SerialControl::Close() {
  if (handle_) {
    CancelIo(AsHandle(handle_));
    CloseHandle(AsHandle(handle_));
    handle_ = nullptr;
    Release(held_);
  }
  if (read_event_) CloseHandle(AsHandle(read_event_));
  if (write_event_) CloseHandle(AsHandle(write_event_));
  read_event_ = write_event_ = nullptr;
  early_.clear();
}

void Win32SerialControl::Output(const std::string& text, std::int32_t max_ms) {
  if (!PortOpen()) Raise(err::kPortNotOpen, "Port not open: " + PortName() + " is not open; call Init first");
  if (text.empty()) return;
  const HANDLE h = AsHandle(handle_);
  OVERLAPPED ov{};
  ov.hEvent = AsHandle(write_event_);
  ResetEvent(ov.hEvent);
  DWORD written = 0;
  bool completed = true;
  DWORD error = 0;
  if (WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, &ov)) {
    GetOverlappedResult(h, &ov, &written, TRUE);
  } else if (GetLastError() == ERROR_IO_PENDING) {
    written = Finish(h, ov, static_cast<DWORD>(std::max(max_ms, 0)), completed, error);
  } else {
    error = GetLastError();
    completed = false;
  }
  if (error != 0)
    Raise(err::kWriteError, "Write error on " + PortName() + ": " + SystemErrorText(error));
  if (!completed || written < text.size())
    Raise(err::kWriteError, "Write timed out on " + PortName() + ": the line took " + std::to_string(written) +
                                " of " + std::to_string(text.size()) + " bytes in " + std::to_string(max_ms) +
                                " ms; the device has stopped reading. Check that the modem is powered and "
                                "connected, then call Init again");
}

unsigned long Win32SerialControl::Queued() {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(AsHandle(handle_), &errors, &status))
    Raise(err::kReadError, "Read error on " + PortName() + ": " + SystemErrorText(GetLastError()));
  return status.cbInQue;
}

std::string Win32SerialControl::Input() {
  if (!PortOpen()) Raise(err::kPortNotOpen, "Port not open: " + PortName() + " is not open; call Init first");
  std::string text;
  text.swap(early_);
  const HANDLE h = AsHandle(handle_);
  for (DWORD queued = Queued(); queued > 0; queued = Queued()) {
    const std::size_t at = text.size();
    text.resize(at + queued);
    OVERLAPPED ov{};
    ov.hEvent = AsHandle(read_event_);
    ResetEvent(ov.hEvent);
    DWORD got = 0;
    bool completed = true;
    DWORD error = 0;
    if (ReadFile(h, text.data() + at, queued, &got, &ov)) {
      GetOverlappedResult(h, &ov, &got, TRUE);
    } else if (GetLastError() == ERROR_IO_PENDING) {
      // The bytes are queued already; a read that still does not end is a device gone wrong.
      got = Finish(h, ov, 1000, completed, error);
    } else {
      error = GetLastError();
    }
    text.resize(at + got);
    if (error != 0) {
      if (!text.empty()) return text;
      Raise(err::kReadError, "Read error on " + PortName() + ": " + SystemErrorText(error));
    }
    if (!completed) break;
  }
  return text;
}

void Win32SerialControl::WaitForInput(std::int32_t max_ms) {
  if (max_ms <= 0) return;
  if (!PortOpen()) {
    ::Sleep(static_cast<DWORD>(max_ms));
    return;
  }
  if (!early_.empty() || Queued() > 0) return;
  const HANDLE h = AsHandle(handle_);
  OVERLAPPED ov{};
  ov.hEvent = AsHandle(read_event_);
  ResetEvent(ov.hEvent);
  char byte = 0;
  DWORD got = 0;
  if (ReadFile(h, &byte, 1, &got, &ov)) {
    GetOverlappedResult(h, &ov, &got, TRUE);
  } else if (GetLastError() == ERROR_IO_PENDING) {
    bool completed = false;
    DWORD error = 0;
    got = Finish(h, ov, static_cast<DWORD>(max_ms), completed, error);
  } else {
    // A failing read is reported by the next Input; do not spin until then.
    ::Sleep(static_cast<DWORD>(max_ms));
    return;
  }
  if (got == 1) early_ += byte;
}

}  // namespace quandelstk::platform
#endif
