// Loads arbitrary bytes as a document through IPersistStreamInit, walks every element
// through the DOM and draws the document.
#include <cstdint>

#include "platform/browser/browser.h"
#include "platform/gdi/gdi.h"

namespace {

void Walk(IHTMLDocument2* doc) {
  IHTMLElementCollection* all = nullptr;
  if (FAILED(doc->get_all(&all)) || !all) return;
  LONG n = 0;
  all->get_length(&n);
  VARIANT none;
  VariantInit(&none);
  for (LONG i = 0; i < n; ++i) {
    VARIANT index;
    index.vt = VT_I4;
    index.lVal = i;
    IDispatch* d = nullptr;
    all->item(index, none, &d);
    if (!d) continue;
    IHTMLElement* e = nullptr;
    if (SUCCEEDED(d->QueryInterface(IID_IHTMLElement, reinterpret_cast<void**>(&e)))) {
      BSTR s = nullptr;
      e->get_tagName(&s);
      SysFreeString(s);
      e->get_innerText(&s);
      SysFreeString(s);
      if (i < 8) {  // outerHTML of the top elements covers the serialiser without quadratic time
        e->get_outerHTML(&s);
        SysFreeString(s);
      }
      IHTMLElement* parent = nullptr;
      e->get_parentElement(&parent);
      if (parent) parent->Release();
      IHTMLInputElement* input = nullptr;
      if (SUCCEEDED(e->QueryInterface(IID_IHTMLInputElement, reinterpret_cast<void**>(&input)))) {
        input->get_value(&s);
        SysFreeString(s);
        input->Release();
      }
      e->Release();
    }
    d->Release();
  }
  all->Release();
  BSTR title = nullptr;
  doc->get_title(&title);
  SysFreeString(title);
}

void Draw(IHTMLDocument2* doc) {
  IViewObject* view = nullptr;
  if (FAILED(doc->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view)))) return;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 160, 120);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECTL bounds{0, 0, 160, 120};
  view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  view->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = (CoInitialize(nullptr), true);
  (void)initialised;
  IHTMLDocument2* doc = nullptr;
  if (FAILED(KvBrowserNewDocument(&doc))) return 0;
  IPersistStreamInit* persist = nullptr;
  doc->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist));
  IStream* stream = SHCreateMemStream(data, static_cast<UINT>(size));
  if (stream && persist) persist->Load(stream);
  if (stream) stream->Release();
  if (persist) persist->Release();
  Walk(doc);
  Draw(doc);
  doc->Release();
  return 0;
}
