#include "platform/devices/default_printer.h"

#include <cctype>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/error.h"
#include "platform/print/cups_library.h"

namespace kvdev {
namespace {

struct DefaultPrinter {
  std::string name;
  std::string uri;
};

struct FakeState {
  std::mutex lock;
  bool active = false;
  std::optional<DefaultPrinter> printer;
};

FakeState& Fake() {
  static FakeState state;
  return state;
}

// None without a CUPS library, as without a server.
std::optional<DefaultPrinter> QueryCups() {
  const kv::print::CupsLibrary* c = kv::print::Cups();
  if (!c) return std::nullopt;
  cups_dest_t* dests = nullptr;
  const int count = c->cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  std::optional<DefaultPrinter> result;
  if (cups_dest_t* dest = c->cupsGetDest(nullptr, nullptr, count, dests)) {
    const char* uri = c->cupsGetOption("device-uri", dest->num_options, dest->options);
    result = DefaultPrinter{dest->name ? dest->name : "", uri ? uri : ""};
  }
  c->cupsFreeDests(count, dests);
  return result;
}

std::optional<DefaultPrinter> Current() {
  FakeState& f = Fake();
  {
    std::lock_guard<std::mutex> guard(f.lock);
    if (f.active) return f.printer;
  }
  return QueryCups();
}

// n of the device file /dev/PREFIXn ("/dev/lp0" -> 0), or -1.
int DeviceNumber(std::string_view path, std::string_view prefix) {
  constexpr std::string_view kDev = "/dev/";
  if (path.compare(0, kDev.size(), kDev) != 0) return -1;
  path.remove_prefix(kDev.size());
  if (path.size() <= prefix.size() || path.size() > prefix.size() + 3 || path.compare(0, prefix.size(), prefix) != 0) {
    return -1;
  }
  int n = 0;
  for (const char c : path.substr(prefix.size())) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

// The port name that leads back to the URI's device: LPTn is /dev/lp(n-1) and
// /dev/parport(n-1), COMn is /dev/ttyS(n-1). Other devices (a USB serial adapter, say)
// have no port name.
std::string PortOfUri(std::string_view uri) {
  const size_t colon = uri.find(':');
  if (colon == std::string_view::npos) return {};
  std::string scheme(uri.substr(0, colon));
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string_view rest = uri.substr(colon + 1);
  rest = rest.substr(0, rest.find_first_of("?#"));
  if (scheme == "usb") return "USB";
  int n = -1;
  if (scheme == "parallel") {
    n = DeviceNumber(rest, "lp");
    if (n < 0) n = DeviceNumber(rest, "parport");
  } else if (scheme == "serial") {
    n = DeviceNumber(rest, "ttyS");
  } else {
    return {};
  }
  if (n < 0 || n > 254) return {};
  return (scheme == "parallel" ? "LPT" : "COM") + std::to_string(n + 1);
}

bool CopyWide(const std::u16string& text, LPWSTR out, DWORD size) {
  if (out == nullptr || size <= text.size()) return false;
  std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  return true;
}

}  // namespace
}  // namespace kvdev

extern "C" {

DWORD KvDevicePortOfUri(const char* uri, LPWSTR port, DWORD port_size) {
  const std::string name = uri ? kvdev::PortOfUri(uri) : std::string();
  const std::u16string wide(name.begin(), name.end());
  if (!kvdev::CopyWide(wide, port, port_size)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return static_cast<DWORD>(wide.size());
}

BOOL KvDefaultPrinterPortW(LPWSTR port, DWORD port_size, LPWSTR printer, DWORD printer_size) {
  const auto current = kvdev::Current();
  if (!current) {
    SetLastError(ERROR_NOT_FOUND);
    return FALSE;
  }
  const std::string name = kvdev::PortOfUri(current->uri);
  if (name.empty()) {
    SetLastError(ERROR_NOT_FOUND);
    return FALSE;
  }
  const std::u16string wide_port(name.begin(), name.end());
  const std::u16string wide_printer = kv::Utf8ToWide(current->name);
  if (port == nullptr || port_size <= wide_port.size() || (printer != nullptr && printer_size <= wide_printer.size())) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  kvdev::CopyWide(wide_port, port, port_size);
  if (printer != nullptr) kvdev::CopyWide(wide_printer, printer, printer_size);
  return TRUE;
}

void KvDevicesSetDefaultPrinterUri(const char* printer_name, const char* device_uri) {
  auto& f = kvdev::Fake();
  std::lock_guard<std::mutex> guard(f.lock);
  f.active = true;
  if (printer_name == nullptr) {
    f.printer.reset();
  } else {
    f.printer = kvdev::DefaultPrinter{printer_name, device_uri ? device_uri : ""};
  }
}

void KvDevicesUseCups(void) {
  auto& f = kvdev::Fake();
  std::lock_guard<std::mutex> guard(f.lock);
  f.active = false;
  f.printer.reset();
}

}  // extern "C"
