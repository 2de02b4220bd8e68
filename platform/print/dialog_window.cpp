// The print dialog as a modal window on the desktop: the printer to use and the number of
// copies, answered with OK or Cancel.
#include <algorithm>
#include <string>

#include "platform/print/print_internal.h"
#include "platform/user/present.h"

namespace kv::print {

namespace {

constexpr int kPrinterList = 1001, kCopies = 1002;

struct Asked {
  std::vector<Printer> printers;
  int answer = 0;
  std::u16string printer;
  WORD copies = 1;
};

INT_PTR AskProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrW(dlg, DWLP_USER, lp);
    return FALSE;
  }
  auto asked = reinterpret_cast<Asked*>(GetWindowLongPtrW(dlg, DWLP_USER));
  if (!asked) return FALSE;
  if (msg == WM_CLOSE) {
    asked->answer = IDCANCEL;
    return TRUE;
  }
  if (msg != WM_COMMAND || HIWORD(wp) != BN_CLICKED) return FALSE;
  if (LOWORD(wp) == IDCANCEL) asked->answer = IDCANCEL;
  if (LOWORD(wp) == IDOK) {
    LRESULT sel = SendDlgItemMessageW(dlg, kPrinterList, CB_GETCURSEL, 0, 0);
    if (sel >= 0 && static_cast<size_t>(sel) < asked->printers.size())
      asked->printer = asked->printers[static_cast<size_t>(sel)].name;
    char16_t digits[8] = {};
    GetWindowTextW(GetDlgItem(dlg, kCopies), digits, 8);
    unsigned n = 0;
    for (char16_t* d = digits; *d >= u'0' && *d <= u'9'; ++d) n = n * 10 + (*d - u'0');
    asked->copies = static_cast<WORD>(std::clamp<unsigned>(n, 1, 9999));
    asked->answer = IDOK;
  }
  return TRUE;
}

HWND Add(HWND dlg, const char16_t* cls, const char16_t* text, DWORD style, int x, int y, int w, int h, int id) {
  HWND c = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, dlg,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return c;
}

}  // namespace

bool AskPrintDialog(HWND owner, const std::u16string& wanted, WORD copies, int* answer, std::u16string* printer,
                    WORD* copiesOut) {
  Asked asked;
  asked.printers = Printers();
  HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  HWND dlg = kv::user::present::MakeBox(top, u"\u6253\u5370", AskProc, reinterpret_cast<LPARAM>(&asked));
  if (!dlg) return false;
  constexpr int kMargin = 12, kLabelW = 60, kFieldW = 240, kRowH = 23, kButtonW = 75;
  int y = kMargin;
  Add(dlg, u"Static", u"\u6253\u5370\u673a(&N):", SS_LEFT, kMargin, y + 4, kLabelW, 16, -1);
  HWND list = Add(dlg, u"ComboBox", u"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, kMargin + kLabelW, y, kFieldW,
                  kRowH + 120, kPrinterList);
  size_t sel = 0;
  for (size_t i = 0; i < asked.printers.size(); ++i) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(asked.printers[i].name.c_str()));
    if (asked.printers[i].name == wanted || (wanted.empty() && asked.printers[i].isDefault)) sel = i;
  }
  SendMessageW(list, CB_SETCURSEL, sel, 0);
  y += kRowH + 8;
  Add(dlg, u"Static", u"\u4efd\u6570(&C):", SS_LEFT, kMargin, y + 4, kLabelW, 16, -1);
  std::string n = std::to_string(copies ? copies : 1);
  Add(dlg, u"Edit", std::u16string(n.begin(), n.end()).c_str(), ES_NUMBER | WS_TABSTOP | WS_BORDER,
      kMargin + kLabelW, y, 60, kRowH, kCopies);
  y += kRowH + 16;
  int clientW = 2 * kMargin + kLabelW + kFieldW;
  Add(dlg, u"Button", u"\u786e\u5b9a", BS_DEFPUSHBUTTON | WS_TABSTOP, clientW - kMargin - 2 * kButtonW - 8, y,
                kButtonW, kRowH, IDOK);
  Add(dlg, u"Button", u"\u53d6\u6d88", BS_PUSHBUTTON | WS_TABSTOP, clientW - kMargin - kButtonW, y, kButtonW, kRowH,
      IDCANCEL);
  kv::user::present::PlaceBox(dlg, top, clientW, y + kRowH + kMargin);
  int result = kv::user::present::RunModal(dlg, top, list, &asked.answer, IDCANCEL);
  *answer = result;
  *printer = asked.printer;
  *copiesOut = asked.copies;
  return true;
}

}  // namespace kv::print
