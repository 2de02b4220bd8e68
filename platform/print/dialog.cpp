// The print dialog: answered from a script in tests, by a person when a presenter shows
// the windows, from the registry setting otherwise.
#include <algorithm>
#include <cstring>
#include <deque>

#include "platform/base/global_memory.h"
#include "platform/print/print_internal.h"
#include "platform/user/present.h"

namespace kv::print {

namespace {

struct Scripted {
  int answer;
  std::u16string printer;
  WORD copies;
  DWORD error;
};

std::deque<Scripted>& Script() {
  static auto* s = new std::deque<Scripted>;
  return *s;
}

DWORD& ShownCount() {
  static DWORD n = 0;
  return n;
}

// The next answer: scripted first, then (for the print dialog itself, `person`) a
// person's, then the configured one.
Scripted NextAnswer(bool person, HWND owner = nullptr, const std::u16string& wanted = {}, WORD copies = 0) {
  ++ShownCount();
  auto& s = Script();
  if (!s.empty()) {
    Scripted a = s.front();
    s.pop_front();
    return a;
  }
  int asked = 0;
  Scripted a{KV_PRINT_DIALOG_OK, {}, 0, 0};
  if (person && kv::user::present::Live() && AskPrintDialog(owner, wanted, copies, &asked, &a.printer, &a.copies)) {
    if (asked != IDOK) a.answer = KV_PRINT_DIALOG_CANCEL;
    return a;
  }
  std::string v = ReadConfig().dialogAnswer;
  if (v == "cancel") return {KV_PRINT_DIALOG_CANCEL, {}, 0, 0};
  if (v == "fail") return {KV_PRINT_DIALOG_FAIL, {}, 0, CDERR_DIALOGFAILURE};
  return {KV_PRINT_DIALOG_OK, {}, 0, 0};
}

template <typename Ch>
std::basic_string<Ch> Text(const std::u16string& s) {
  if constexpr (sizeof(Ch) == 2)
    return s;
  else
    return ToAnsiString(s);
}

template <typename Ch>
std::u16string FromText(const Ch* s) {
  if constexpr (sizeof(Ch) == 2)
    return FromWide(s);
  else
    return FromAnsi(s);
}

// The device name a DEVNAMES block holds; empty when the block is unusable.
template <typename Ch>
std::u16string DeviceFromNames(HGLOBAL h) {
  if (!h) return {};
  SIZE_T size = GlobalSize(h);
  if (size < sizeof(DEVNAMES)) return {};
  auto* dn = static_cast<const DEVNAMES*>(GlobalLock(h));
  if (!dn) return {};
  std::u16string name;
  size_t chars = size / sizeof(Ch);
  size_t off = dn->wDeviceOffset;
  if (off < chars) {
    const Ch* p = reinterpret_cast<const Ch*>(dn) + off;
    size_t n = 0;
    while (off + n < chars && p[n]) ++n;
    if (off + n < chars) name = FromText<Ch>(std::basic_string<Ch>(p, n).c_str());
  }
  GlobalUnlock(h);
  return name;
}

template <typename Ch>
HGLOBAL MakeDevNames(const Printer& p) {
  std::basic_string<Ch> driver = Text<Ch>(u"winspool"), device = Text<Ch>(p.name), port = Text<Ch>(p.port);
  size_t head = sizeof(DEVNAMES) / sizeof(Ch);
  size_t total = head + driver.size() + 1 + device.size() + 1 + port.size() + 1;
  HGLOBAL h = GlobalAlloc(GHND, total * sizeof(Ch));
  if (!h) return nullptr;
  auto* dn = static_cast<DEVNAMES*>(GlobalLock(h));
  Ch* base = reinterpret_cast<Ch*>(dn);
  size_t at = head;
  dn->wDriverOffset = static_cast<WORD>(at);
  std::memcpy(base + at, driver.c_str(), (driver.size() + 1) * sizeof(Ch));
  at += driver.size() + 1;
  dn->wDeviceOffset = static_cast<WORD>(at);
  std::memcpy(base + at, device.c_str(), (device.size() + 1) * sizeof(Ch));
  at += device.size() + 1;
  dn->wOutputOffset = static_cast<WORD>(at);
  std::memcpy(base + at, port.c_str(), (port.size() + 1) * sizeof(Ch));
  dn->wDefault = p.isDefault ? DN_DEFAULTPRN : 0;
  GlobalUnlock(h);
  return h;
}

template <typename DM>
HGLOBAL MakeDevMode(const DEVMODEW& dm) {
  HGLOBAL h = GlobalAlloc(GHND, sizeof(DM));
  if (!h) return nullptr;
  void* p = GlobalLock(h);
  if constexpr (sizeof(DM) == sizeof(DEVMODEW)) {
    std::memcpy(p, &dm, sizeof dm);
  } else {
    DEVMODEA a = ToAnsi(dm);
    std::memcpy(p, &a, sizeof a);
  }
  GlobalUnlock(h);
  return h;
}

template <typename PD, typename Ch, typename DM>
BOOL PrintDlgT(PD* pd) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  DWORD& err = DialogError();
  err = 0;
  if (!pd || pd->lStructSize != sizeof(PD)) {
    err = CDERR_STRUCTSIZE;
    return FALSE;
  }
  if ((pd->Flags & PD_RETURNDEFAULT) && (pd->hDevMode || pd->hDevNames)) {
    err = PDERR_RETDEFFAILURE;
    return FALSE;
  }
  if ((pd->Flags & PD_PAGENUMS) &&
      (pd->nFromPage > pd->nToPage || pd->nFromPage < pd->nMinPage || pd->nToPage > pd->nMaxPage)) {
    err = PDERR_INITFAILURE;
    return FALSE;
  }
  if (Printers().empty()) {
    err = PDERR_NODEFAULTPRN;
    return FALSE;
  }
  // The printer the caller names (device names first, then the device mode's name).
  std::u16string wanted = DeviceFromNames<Ch>(pd->hDevNames);
  // The caller's device mode, never read past its block (whatever its dmSize claims).
  std::optional<DEVMODEW> callerMode;
  if (pd->hDevMode) {
    SIZE_T size = GlobalSize(pd->hDevMode);
    if (const void* p = GlobalLock(pd->hDevMode)) {
      DM copy{};
      std::memcpy(&copy, p, std::min<SIZE_T>(size, sizeof copy));
      GlobalUnlock(pd->hDevMode);
      copy.dmSize = static_cast<WORD>(std::min<SIZE_T>({size, copy.dmSize, sizeof copy}));
      callerMode = ReadDevMode(&copy, sizeof(DM) == sizeof(DEVMODEW));
    }
  }
  if (wanted.empty() && callerMode) {
    const WCHAR* n = callerMode->dmDeviceName;
    wanted.assign(n, std::find(n, n + CCHDEVICENAME, u'\0'));
  }

  Scripted answer{KV_PRINT_DIALOG_OK, {}, 0, 0};
  if (!(pd->Flags & PD_RETURNDEFAULT)) answer = NextAnswer(true, pd->hwndOwner, wanted, pd->nCopies);
  if (answer.answer == KV_PRINT_DIALOG_CANCEL) return FALSE;
  if (answer.answer != KV_PRINT_DIALOG_OK) {
    err = answer.error ? answer.error : CDERR_DIALOGFAILURE;
    return FALSE;
  }
  if (!answer.printer.empty()) wanted = answer.printer;
  std::optional<Printer> printer =
      (pd->Flags & PD_RETURNDEFAULT) || wanted.empty() ? DefaultPrinter() : FindPrinter(wanted);
  if (!printer && !answer.printer.empty()) {
    err = PDERR_PRINTERNOTFOUND;
    return FALSE;
  }
  if (!printer) printer = DefaultPrinter();  // a stale name: the user sees the default
  if (!printer) {
    err = PDERR_NODEFAULTPRN;
    return FALSE;
  }

  DEVMODEW dm = printer->defaults;
  if (callerMode && !(pd->Flags & PD_RETURNDEFAULT) && printer->name == wanted) {
    DEVMODEW c = *callerMode;
    MergeDevMode(dm, &c, true);
  }
  WORD copies = answer.copies ? answer.copies : (pd->nCopies ? pd->nCopies : 1);
  if (pd->Flags & PD_USEDEVMODECOPIES) {
    dm.dmCopies = static_cast<SHORT>(copies);
    pd->nCopies = 1;
  } else {
    dm.dmCopies = 1;
    pd->nCopies = copies;
  }
  dm.dmFields |= DM_COPIES;

  HGLOBAL newMode = MakeDevMode<DM>(dm);
  HGLOBAL newNames = MakeDevNames<Ch>(*printer);
  if (!newMode || !newNames) {
    GlobalFree(newMode);
    GlobalFree(newNames);
    err = CDERR_MEMALLOCFAILURE;
    return FALSE;
  }
  HDC dc = nullptr;
  if (pd->Flags & (PD_RETURNDC | PD_RETURNIC)) {
    dc = CreateDCW(u"WINSPOOL", printer->name.c_str(), nullptr, &dm);
    if (!dc) {
      GlobalFree(newMode);
      GlobalFree(newNames);
      err = PDERR_CREATEICFAILURE;
      return FALSE;
    }
  }
  if (pd->hDevMode) GlobalFree(pd->hDevMode);
  if (pd->hDevNames) GlobalFree(pd->hDevNames);
  pd->hDevMode = newMode;
  pd->hDevNames = newNames;
  if (dc) pd->hDC = dc;
  return TRUE;
}

}  // namespace

int DialogAnswerForPrompt() {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Scripted a = NextAnswer(false);
  if (a.answer == KV_PRINT_DIALOG_OK) return IDOK;
  if (a.answer == KV_PRINT_DIALOG_CANCEL) return IDCANCEL;
  SetLastError(ERROR_CANCELLED);
  return -1;
}

}  // namespace kv::print

using namespace kv::print;

extern "C" {

BOOL PrintDlgA(LPPRINTDLGA lppd) { return PrintDlgT<PRINTDLGA, char, DEVMODEA>(lppd); }
BOOL PrintDlgW(LPPRINTDLGW lppd) { return PrintDlgT<PRINTDLGW, char16_t, DEVMODEW>(lppd); }

DWORD CommDlgExtendedError(void) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return DialogError();
}

void KvPrintDialogScript(int answer, LPCSTR printer, WORD copies, DWORD error) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Script().push_back({answer, printer ? FromAnsi(printer) : std::u16string(), copies, error});
}

void KvPrintDialogClearScript(void) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Script().clear();
  ShownCount() = 0;
}

DWORD KvPrintDialogShownCount(void) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  return ShownCount();
}

}  // extern "C"
