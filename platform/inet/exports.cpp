// The pseudo-modules "wininet.dll" and "URLMON.DLL" and the built-in URL history class,
// there from the moment libplatform.so is loaded.
#include "platform/base/module.h"
#include "platform/inet/internal.h"
#include "platform/inet/urlmon.h"

namespace {

#define KV_EXPORT(name) \
  { #name, reinterpret_cast < void*>(&name) }

const KvExport kWininet[] = {
    KV_EXPORT(InternetCrackUrlA),
    KV_EXPORT(InternetCrackUrlW),
    KV_EXPORT(InternetOpenA),
    KV_EXPORT(InternetOpenW),
    KV_EXPORT(InternetConnectA),
    KV_EXPORT(InternetConnectW),
    KV_EXPORT(InternetOpenUrlA),
    KV_EXPORT(InternetOpenUrlW),
    KV_EXPORT(InternetCloseHandle),
    KV_EXPORT(HttpQueryInfoA),
    KV_EXPORT(HttpQueryInfoW),
    KV_EXPORT(InternetSetOptionA),
    KV_EXPORT(InternetSetOptionW),
    KV_EXPORT(InternetQueryOptionA),
    KV_EXPORT(InternetQueryOptionW),
    KV_EXPORT(FindFirstUrlCacheEntryExA),
    KV_EXPORT(FindNextUrlCacheEntryExA),
    KV_EXPORT(FindCloseUrlCache),
    KV_EXPORT(DeleteUrlCacheEntry),
    KV_EXPORT(DeleteUrlCacheEntryA),
    KV_EXPORT(DeleteUrlCacheEntryW),
    KV_EXPORT(FindFirstUrlCacheGroup),
    KV_EXPORT(FindNextUrlCacheGroup),
    KV_EXPORT(GetUrlCacheGroupAttributeA),
    KV_EXPORT(SetUrlCacheGroupAttributeA),
};

const KvExport kUrlmon[] = {
    KV_EXPORT(CreateURLMonikerEx),          KV_EXPORT(CreateURLMoniker),
    KV_EXPORT(CreateAsyncBindCtx),          KV_EXPORT(RegisterBindStatusCallback),
    KV_EXPORT(RevokeBindStatusCallback),    KV_EXPORT(URLDownloadToFileA),
    KV_EXPORT(URLDownloadToFileW),          KV_EXPORT(IsValidURL),
    KV_EXPORT(CoInternetSetFeatureEnabled), KV_EXPORT(CoInternetIsFeatureEnabled),
};

struct Registration {
  Registration() {
    KvRegisterBuiltinModule("wininet.dll", kWininet, sizeof(kWininet) / sizeof(kWininet[0]));
    KvRegisterBuiltinModule("URLMON.DLL", kUrlmon, sizeof(kUrlmon) / sizeof(kUrlmon[0]));
    kv::inet::RegisterHistoryClass();
  }
} g_registration;

}  // namespace
