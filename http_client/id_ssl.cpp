#include "http_client/id_ssl.h"

#include <cstring>
#include <mutex>

#include "framework/core/sysutils.h"
#include "platform/base/module.h"

namespace {

// Values of the TLS library's interface the binding relies on.
constexpr int kFiletypePem = 1;
constexpr int kErrorWantRead = 2;
constexpr int kErrorWantWrite = 3;
constexpr int kErrorZeroReturn = 6;  // the peer closed the TLS connection properly
constexpr int kCtrlSetTlsextHostname = 55;
constexpr long kTlsextNametypeHostName = 0;
constexpr uint64_t kInitLoadCryptoStrings = 0x00000002ULL;
constexpr uint64_t kInitLoadSslStrings = 0x00200000ULL;

using Fn = void*;

// Every entry the binding knows, in the order of its list; then the entries of the
// current library that our own replacements use.
enum Entry {
  // Context.
  eCtxSetCipherList,
  eCtxNew,
  eCtxFree,
  eCtxUsePrivateKeyFile,
  eCtxUseCertificateFile,
  eCtxSetVerify,
  eCtxSetVerifyDepth,
  eCtxGetVerifyDepth,
  eCtxSetDefaultPasswdCb,
  eCtxSetDefaultPasswdCbUserdata,
  eCtxCheckPrivateKey,
  eCtxLoadVerifyLocations,
  eCtxSetClientCAList,
  eCtxSetDefaultVerifyPaths,
  eCtxSetSessionIdContext,
  eLoadClientCAFile,
  // Connection.
  eSetFd,
  eLoadErrorStrings,
  eStateStringLong,
  eGetPeerCertificate,
  eNew,
  eFree,
  eAccept,
  eConnect,
  eRead,
  ePeek,
  eWrite,
  eGetError,
  eShutdown,
  eSetConnectState,
  eSetAcceptState,
  eSetShutdown,
  eGetSession,
  eLibraryInit,
  eSetExData,
  eGetExData,
  eGetCurrentCipher,
  eCipherDescription,
  eCipherGetName,
  eCipherGetVersion,
  eCipherGetBits,
  // Methods.
  eSSLv2Method,
  eSSLv2ServerMethod,
  eSSLv2ClientMethod,
  eSSLv3Method,
  eSSLv3ServerMethod,
  eSSLv3ClientMethod,
  eSSLv23Method,
  eSSLv23ServerMethod,
  eSSLv23ClientMethod,
  eTLSv1Method,
  eTLSv1ServerMethod,
  eTLSv1ClientMethod,
  // Our exports.
  eCtxSetInfoCallbackIdl,
  eStoreCtxGetAppDataIdl,
  eSessionGetIdIdl,
  eSessionGetIdCtxIdl,
  eCtxGetVersionIdl,
  eCtxSetOptionsIdl,
  eGetNotBeforeIdl,
  eGetNotAfterIdl,
  // Certificates and the rest.
  eNameOneline,
  eNameHash,
  eSetIssuerName,
  eGetIssuerName,
  eSetSubjectName,
  eGetSubjectName,
  eDigest,
  eEvpMd5,
  eStoreCtxGetError,
  eStoreCtxSetError,
  eStoreCtxGetErrorDepth,
  eStoreCtxGetCurrentCert,
  eRandScreen,
  eDesSetOddParity,
  eDesSetKey,
  eDesEcbEncrypt,
  kListedEntries,
  // Used by our replacements.
  xInitSsl = kListedEntries,
  xCtrl,
  xCtxSetInfoCallback,
  xStoreCtxGetExData,
  xStoreCtxIdx,
  xSessionGetId,
  xSessionGetId0Ctx,
  xCtxGetSslMethod,
  xCtxSetOptions,
  xGetNotBefore,
  xGetNotAfter,
  xNameHashEx,
  xPending,
  kEntryCount
};

void* g_entries[kEntryCount];
HMODULE g_ssl = nullptr;
HMODULE g_crypto = nullptr;
bool g_bound = false;
int g_contexts_created = 0;
std::string g_ssl_name = "libssl.so.3", g_crypto_name = "libcrypto.so.3";
std::mutex g_status_lock, g_password_lock, g_verify_lock;

template <class F>
F Api(Entry e) {
  return reinterpret_cast<F>(g_entries[e]);
}

// Replacements for entries the current library gives under other names or not at all.
extern "C" {
int kv_ssl_library_init() { return Api<int (*)(uint64_t, const void*)>(xInitSsl)(0, nullptr); }
void kv_ssl_load_error_strings() {
  Api<int (*)(uint64_t, const void*)>(xInitSsl)(kInitLoadSslStrings | kInitLoadCryptoStrings, nullptr);
}
const void* kv_ssl_no_method() { return nullptr; }  // protocol versions the library no longer has
void kv_ssl_ctx_set_info_callback_idl(void* ctx, void (*cb)(const void*, int, int)) {
  Api<void (*)(void*, void (*)(const void*, int, int))>(xCtxSetInfoCallback)(ctx, cb);
}
void* kv_x509_store_ctx_get_app_data_idl(void* store) {
  const int idx = Api<int (*)()>(xStoreCtxIdx)();
  return Api<void* (*)(void*, int)>(xStoreCtxGetExData)(store, idx);
}
const unsigned char* kv_ssl_session_get_id_idl(const void* session, unsigned int* length) {
  return Api<const unsigned char* (*)(const void*, unsigned int*)>(xSessionGetId)(session, length);
}
const unsigned char* kv_ssl_session_get_id_ctx_idl(const void* session, unsigned int* length) {
  return Api<const unsigned char* (*)(const void*, unsigned int*)>(xSessionGetId0Ctx)(session, length);
}
const void* kv_ssl_ctx_get_version_idl(const void* ctx) {
  return Api<const void* (*)(const void*)>(xCtxGetSslMethod)(ctx);
}
uint64_t kv_ssl_ctx_set_options_idl(void* ctx, uint64_t options) {
  return Api<uint64_t (*)(void*, uint64_t)>(xCtxSetOptions)(ctx, options);
}
const void* kv_x509_get_not_before_idl(const void* x) { return Api<const void* (*)(const void*)>(xGetNotBefore)(x); }
const void* kv_x509_get_not_after_idl(const void* x) { return Api<const void* (*)(const void*)>(xGetNotAfter)(x); }
unsigned long kv_x509_name_hash(const void* name) {
  return Api<unsigned long (*)(const void*, void*, const char*, int*)>(xNameHashEx)(name, nullptr, nullptr, nullptr);
}
}

struct EntryDef {
  Entry entry;
  bool crypto;  // from "libeay32.dll" rather than "ssleay32.dll"
  bool required;
  const char* name;     // the name in the entry list
  const char* current;  // the library's current name, when it differs
  void* ours;           // our own function, when the library has none
};

#define OURS(f) reinterpret_cast<void*>(&f)
const EntryDef kDefs[] = {
    {eCtxSetCipherList, false, true, "SSL_CTX_set_cipher_list", nullptr, nullptr},
    {eCtxNew, false, true, "SSL_CTX_new", nullptr, nullptr},
    {eCtxFree, false, true, "SSL_CTX_free", nullptr, nullptr},
    {eCtxUsePrivateKeyFile, false, true, "SSL_CTX_use_PrivateKey_file", nullptr, nullptr},
    {eCtxUseCertificateFile, false, true, "SSL_CTX_use_certificate_file", nullptr, nullptr},
    {eCtxSetVerify, false, true, "SSL_CTX_set_verify", nullptr, nullptr},
    {eCtxSetVerifyDepth, false, true, "SSL_CTX_set_verify_depth", nullptr, nullptr},
    {eCtxGetVerifyDepth, false, true, "SSL_CTX_get_verify_depth", nullptr, nullptr},
    {eCtxSetDefaultPasswdCb, false, true, "SSL_CTX_set_default_passwd_cb", nullptr, nullptr},
    {eCtxSetDefaultPasswdCbUserdata, false, true, "SSL_CTX_set_default_passwd_cb_userdata", nullptr, nullptr},
    {eCtxCheckPrivateKey, false, true, "SSL_CTX_check_private_key", nullptr, nullptr},
    {eCtxLoadVerifyLocations, false, true, "SSL_CTX_load_verify_locations", nullptr, nullptr},
    {eCtxSetClientCAList, false, true, "SSL_CTX_set_client_CA_list", nullptr, nullptr},
    {eCtxSetDefaultVerifyPaths, false, true, "SSL_CTX_set_default_verify_paths", nullptr, nullptr},
    {eCtxSetSessionIdContext, false, true, "SSL_CTX_set_session_id_context", nullptr, nullptr},
    {eLoadClientCAFile, false, true, "SSL_load_client_CA_file", nullptr, nullptr},
    {eSetFd, false, true, "SSL_set_fd", nullptr, nullptr},
    {eLoadErrorStrings, false, true, "SSL_load_error_strings", nullptr, OURS(kv_ssl_load_error_strings)},
    {eStateStringLong, false, true, "SSL_state_string_long", nullptr, nullptr},
    {eGetPeerCertificate, false, true, "SSL_get_peer_certificate", "SSL_get1_peer_certificate", nullptr},
    {eNew, false, true, "SSL_new", nullptr, nullptr},
    {eFree, false, true, "SSL_free", nullptr, nullptr},
    {eAccept, false, true, "SSL_accept", nullptr, nullptr},
    {eConnect, false, true, "SSL_connect", nullptr, nullptr},
    {eRead, false, true, "SSL_read", nullptr, nullptr},
    {ePeek, false, true, "SSL_peek", nullptr, nullptr},
    {eWrite, false, true, "SSL_write", nullptr, nullptr},
    {eGetError, false, true, "SSL_get_error", nullptr, nullptr},
    {eShutdown, false, true, "SSL_shutdown", nullptr, nullptr},
    {eSetConnectState, false, true, "SSL_set_connect_state", nullptr, nullptr},
    {eSetAcceptState, false, true, "SSL_set_accept_state", nullptr, nullptr},
    {eSetShutdown, false, true, "SSL_set_shutdown", nullptr, nullptr},
    {eGetSession, false, true, "SSL_get_session", nullptr, nullptr},
    {eLibraryInit, false, true, "SSL_library_init", nullptr, OURS(kv_ssl_library_init)},
    {eSetExData, false, true, "SSL_set_ex_data", nullptr, nullptr},
    {eGetExData, false, true, "SSL_get_ex_data", nullptr, nullptr},
    {eGetCurrentCipher, false, true, "SSL_get_current_cipher", nullptr, nullptr},
    {eCipherDescription, false, true, "SSL_CIPHER_description", nullptr, nullptr},
    {eCipherGetName, false, true, "SSL_CIPHER_get_name", nullptr, nullptr},
    {eCipherGetVersion, false, true, "SSL_CIPHER_get_version", nullptr, nullptr},
    {eCipherGetBits, false, true, "SSL_CIPHER_get_bits", nullptr, nullptr},
    {eSSLv2Method, false, true, "SSLv2_method", nullptr, OURS(kv_ssl_no_method)},
    {eSSLv2ServerMethod, false, true, "SSLv2_server_method", nullptr, OURS(kv_ssl_no_method)},
    {eSSLv2ClientMethod, false, true, "SSLv2_client_method", nullptr, OURS(kv_ssl_no_method)},
    {eSSLv3Method, false, true, "SSLv3_method", "SSLv3_method", OURS(kv_ssl_no_method)},
    {eSSLv3ServerMethod, false, true, "SSLv3_server_method", "SSLv3_server_method", OURS(kv_ssl_no_method)},
    {eSSLv3ClientMethod, false, true, "SSLv3_client_method", "SSLv3_client_method", OURS(kv_ssl_no_method)},
    {eSSLv23Method, false, true, "SSLv23_method", "TLS_method", nullptr},
    {eSSLv23ServerMethod, false, true, "SSLv23_server_method", "TLS_server_method", nullptr},
    {eSSLv23ClientMethod, false, true, "SSLv23_client_method", "TLS_client_method", nullptr},
    {eTLSv1Method, false, true, "TLSv1_method", nullptr, nullptr},
    {eTLSv1ServerMethod, false, true, "TLSv1_server_method", nullptr, nullptr},
    {eTLSv1ClientMethod, false, true, "TLSv1_client_method", nullptr, nullptr},
    {eCtxSetInfoCallbackIdl, false, true, "SSL_CTX_set_info_callback_idl", nullptr,
     OURS(kv_ssl_ctx_set_info_callback_idl)},
    {eStoreCtxGetAppDataIdl, false, true, "X509_STORE_CTX_get_app_data_idl", nullptr,
     OURS(kv_x509_store_ctx_get_app_data_idl)},
    {eSessionGetIdIdl, false, true, "SSL_SESSION_get_id_idl", nullptr, OURS(kv_ssl_session_get_id_idl)},
    {eSessionGetIdCtxIdl, false, true, "SSL_SESSION_get_id_ctx_idl", nullptr, OURS(kv_ssl_session_get_id_ctx_idl)},
    {eCtxGetVersionIdl, false, true, "SSL_CTX_get_version_idl", nullptr, OURS(kv_ssl_ctx_get_version_idl)},
    {eCtxSetOptionsIdl, false, true, "SSL_CTX_set_options_idl", nullptr, OURS(kv_ssl_ctx_set_options_idl)},
    {eGetNotBeforeIdl, false, true, "X509_get_notBefore_idl", nullptr, OURS(kv_x509_get_not_before_idl)},
    {eGetNotAfterIdl, false, true, "X509_get_notAfter_idl", nullptr, OURS(kv_x509_get_not_after_idl)},
    {eNameOneline, true, true, "X509_NAME_oneline", nullptr, nullptr},
    {eNameHash, true, false, "X509_NAME_hash", nullptr, OURS(kv_x509_name_hash)},
    {eSetIssuerName, true, true, "X509_set_issuer_name", nullptr, nullptr},
    {eGetIssuerName, true, true, "X509_get_issuer_name", nullptr, nullptr},
    {eSetSubjectName, true, true, "X509_set_subject_name", nullptr, nullptr},
    {eGetSubjectName, true, true, "X509_get_subject_name", nullptr, nullptr},
    {eDigest, true, false, "X509_digest", nullptr, nullptr},
    {eEvpMd5, true, false, "EVP_md5", nullptr, nullptr},
    {eStoreCtxGetError, true, true, "X509_STORE_CTX_get_error", nullptr, nullptr},
    {eStoreCtxSetError, true, true, "X509_STORE_CTX_set_error", nullptr, nullptr},
    {eStoreCtxGetErrorDepth, true, true, "X509_STORE_CTX_get_error_depth", nullptr, nullptr},
    {eStoreCtxGetCurrentCert, true, true, "X509_STORE_CTX_get_current_cert", nullptr, nullptr},
    {eRandScreen, true, false, "RAND_screen", nullptr, nullptr},
    {eDesSetOddParity, true, true, "des_set_odd_parity", "DES_set_odd_parity", nullptr},
    {eDesSetKey, true, true, "des_set_key", "DES_set_key", nullptr},
    {eDesEcbEncrypt, true, true, "des_ecb_encrypt", "DES_ecb_encrypt", nullptr},
    // What our replacements call.
    {xInitSsl, false, true, "OPENSSL_init_ssl", nullptr, nullptr},
    {xCtrl, false, true, "SSL_ctrl", nullptr, nullptr},
    {xCtxSetInfoCallback, false, true, "SSL_CTX_set_info_callback", nullptr, nullptr},
    {xStoreCtxGetExData, true, true, "X509_STORE_CTX_get_ex_data", nullptr, nullptr},
    {xStoreCtxIdx, false, true, "SSL_get_ex_data_X509_STORE_CTX_idx", nullptr, nullptr},
    {xSessionGetId, false, true, "SSL_SESSION_get_id", nullptr, nullptr},
    {xSessionGetId0Ctx, false, true, "SSL_SESSION_get0_id_context", nullptr, nullptr},
    {xCtxGetSslMethod, false, true, "SSL_CTX_get_ssl_method", nullptr, nullptr},
    {xCtxSetOptions, false, true, "SSL_CTX_set_options", nullptr, nullptr},
    {xGetNotBefore, true, true, "X509_get0_notBefore", nullptr, nullptr},
    {xGetNotAfter, true, true, "X509_get0_notAfter", nullptr, nullptr},
    {xNameHashEx, true, false, "X509_NAME_hash_ex", nullptr, nullptr},
    {xPending, false, true, "SSL_pending", nullptr, nullptr},
};
#undef OURS
static_assert(sizeof(kDefs) / sizeof(kDefs[0]) == kEntryCount, "every entry has a definition");

void* Lookup(HMODULE module, const char* name) {
  return module != nullptr && name != nullptr ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

void ClearBinding() {
  for (auto& e : g_entries) e = nullptr;
  g_bound = false;
}

// Callbacks from the library.
extern "C" void StatusCallback(const void* ssl, int /*where*/, int /*ret*/) {
  std::lock_guard<std::mutex> guard(g_status_lock);
  try {
    auto* socket = static_cast<TIdSSLSocket*>(Api<void* (*)(const void*, int)>(eGetExData)(ssl, 0));
    if (socket == nullptr || socket->Parent == nullptr) return;
    const char* state = Api<const char* (*)(const void*)>(eStateStringLong)(ssl);
    socket->Parent->DoStatusInfo(Format("SSL status: \"%s\"", {TVarRec(state ? state : "")}));
  } catch (...) {
  }
}

extern "C" int PasswordCallback(char* buffer, int size, int /*rwflag*/, void* userdata) {
  std::lock_guard<std::mutex> guard(g_password_lock);
  if (buffer == nullptr || size <= 0) return 0;
  std::string password;
  try {
    auto* context = static_cast<TIdSSLContext*>(userdata);
    if (context != nullptr && context->Parent != nullptr) context->Parent->DoGetPassword(password);
  } catch (...) {
    password.clear();
  }
  // At most size - 1 characters and the terminating zero fit the library's buffer.
  const size_t n = std::min(password.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, password.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

extern "C" int VerifyCallback(int preverify, void* store) {
  std::lock_guard<std::mutex> guard(g_verify_lock);
  try {
    void* ssl = Api<void* (*)(void*)>(eStoreCtxGetAppDataIdl)(store);
    auto* socket = ssl ? static_cast<TIdSSLSocket*>(Api<void* (*)(const void*, int)>(eGetExData)(ssl, 0)) : nullptr;
    if (socket == nullptr || socket->Parent == nullptr) return preverify;
    TIdX509 certificate(Api<void* (*)(void*)>(eStoreCtxGetCurrentCert)(store));
    const int depth = Api<int (*)(void*)>(eStoreCtxGetErrorDepth)(store);
    const int limit = socket->Context != nullptr ? socket->Context->VerifyDepth : 0;
    const bool accepted = socket->Parent->DoVerifyPeer(&certificate);
    return accepted && preverify > 0 && depth <= limit ? 1 : 0;
  } catch (...) {
    return 0;  // a failure inside the check rejects the certificate
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Loading.

void SetSslLibraryNames(const std::string& ssl_library, const std::string& crypto_library) {
  g_ssl_name = ssl_library.empty() ? "libssl.so.3" : ssl_library;
  g_crypto_name = crypto_library.empty() ? "libcrypto.so.3" : crypto_library;
}

bool LoadSslLibraries() {
  if (g_crypto == nullptr) g_crypto = LoadLibraryA(g_crypto_name.c_str());
  if (g_ssl != nullptr && g_bound) return true;
  if (g_ssl == nullptr) g_ssl = LoadLibraryA(g_ssl_name.c_str());
  bool complete = g_ssl != nullptr && g_crypto != nullptr;
  for (const EntryDef& d : kDefs) {
    if (!complete) break;
    HMODULE module = d.crypto ? g_crypto : g_ssl;
    void* p = Lookup(module, d.name);
    if (p == nullptr && d.current != nullptr) p = Lookup(module, d.current);
    if (p == nullptr) p = d.ours;
    g_entries[d.entry] = p;
    if (p == nullptr && d.required) complete = false;
  }
  if (complete) {
    g_bound = true;
    return true;
  }
  // Nothing stays bound, so every later attempt fails the same way.
  ClearBinding();
  if (g_ssl != nullptr) FreeLibrary(g_ssl);
  if (g_crypto != nullptr) FreeLibrary(g_crypto);
  g_ssl = g_crypto = nullptr;
  return false;
}

bool StartSslLibrary() {
  if (!LoadSslLibraries()) return false;
  if (g_entries[eRandScreen] != nullptr) Api<void (*)()>(eRandScreen)();
  Api<void (*)()>(eLoadErrorStrings)();
  return Api<int (*)()>(eLibraryInit)() >= 1;
}

void UnloadSslLibraries() {
  ClearBinding();
  if (g_ssl != nullptr) FreeLibrary(g_ssl);
  if (g_crypto != nullptr) FreeLibrary(g_crypto);
  g_ssl = g_crypto = nullptr;
  g_contexts_created = 0;
}

namespace {
// Module unload: both libraries are released.
struct SslLibraryUnload {
  ~SslLibraryUnload() { UnloadSslLibraries(); }
} g_ssl_library_unload;
}  // namespace

// ---------------------------------------------------------------------------------------
// Options and context.

void TIdSSLOptions::Assign(TPersistent* Source) {
  auto* s = dynamic_cast<TIdSSLOptions*>(Source);
  if (s == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  RootCertFile = s->RootCertFile;
  CertFile = s->CertFile;
  KeyFile = s->KeyFile;
  Method = s->Method;
  Mode = s->Mode;
  VerifyDepth = s->VerifyDepth;
  VerifyMode = s->VerifyMode;
  VerifyDirs = s->VerifyDirs;
  CipherList = s->CipherList;
}

TIdSSLContext::TIdSSLContext() {
  if (g_contexts_created == 0 && !StartSslLibrary()) throw EIdOSSLCouldNotLoadSSLLibrary("Could not load SSL library.");
  if (!g_bound && !LoadSslLibraries()) throw EIdOSSLCouldNotLoadSSLLibrary("Could not load SSL library.");
  ++g_contexts_created;
}

TIdSSLContext::~TIdSSLContext() {
  if (Context != nullptr && g_bound) Api<void (*)(void*)>(eCtxFree)(Context);
}

void TIdSSLContext::SetUpContext(TIdSSLCtxMode kind) {
  if (Context != nullptr) {
    Api<void (*)(void*)>(eCtxFree)(Context);
    Context = nullptr;
  }
  if (Mode == sslmUnassigned) Mode = kind == sslCtxServer ? sslmServer : sslmClient;
  static const Entry kMethods[4][3] = {
      {eSSLv2ClientMethod, eSSLv2ServerMethod, eSSLv2Method},
      {eSSLv23ClientMethod, eSSLv23ServerMethod, eSSLv23Method},
      {eSSLv3ClientMethod, eSSLv3ServerMethod, eSSLv3Method},
      {eTLSv1ClientMethod, eTLSv1ServerMethod, eTLSv1Method},
  };
  if (Mode == sslmUnassigned) throw EIdOSSLModeNotSet("Mode has not been set.");
  if (Method < sslvSSLv2 || Method > sslvTLSv1) throw EIdOSSLGetMethodError("Error geting SSL method.");
  const int column = Mode == sslmClient ? 0 : Mode == sslmServer ? 1 : 2;
  const void* method = Api<const void* (*)()>(kMethods[Method][column])();
  Context = method != nullptr ? Api<void* (*)(const void*)>(eCtxNew)(method) : nullptr;
  if (Context == nullptr) throw EIdOSSLCreatingContextError("Error creating SSL context.");
  Api<void (*)(void*, int (*)(char*, int, int, void*))>(eCtxSetDefaultPasswdCb)(Context, &PasswordCallback);
  Api<void (*)(void*, void*)>(eCtxSetDefaultPasswdCbUserdata)(Context, this);
  Api<int (*)(void*)>(eCtxSetDefaultVerifyPaths)(Context);
  if (!RootCertFile.empty() && Api<int (*)(void*, const char*, const char*)>(eCtxLoadVerifyLocations)(
                                   Context, RootCertFile.c_str(), nullptr) <= 0)
    throw EIdOSSLLoadingRootCertError("Could not load root certificate.");
  if (!CertFile.empty() &&
      Api<int (*)(void*, const char*, int)>(eCtxUseCertificateFile)(Context, CertFile.c_str(), kFiletypePem) <= 0)
    throw EIdOSSLLoadingCertError("Could not load certificate.");
  if (!KeyFile.empty() &&
      (Api<int (*)(void*, const char*, int)>(eCtxUsePrivateKeyFile)(Context, KeyFile.c_str(), kFiletypePem) <= 0 ||
       Api<int (*)(void*)>(eCtxCheckPrivateKey)(Context) <= 0))
    throw EIdOSSLLoadingKeyError("Could not load key, check password.");
  if (StatusInfoOn)
    Api<void (*)(void*, void (*)(const void*, int, int))>(eCtxSetInfoCallbackIdl)(Context, &StatusCallback);
  const std::string ciphers = CipherList.empty() ? "ALL:!ADH:RC4+RSA:+HIGH:+MEDIUM:+LOW:+SSLv2:+EXP" : CipherList;
  if (Api<int (*)(void*, const char*)>(eCtxSetCipherList)(Context, ciphers.c_str()) <= 0)
    throw EIdOSSLSettingCipherError("SetCipher failed.");
  if (!VerifyMode.Empty()) {
    int bits = 0;
    if (VerifyMode.Contains(sslvrfPeer)) bits |= 1;
    if (VerifyMode.Contains(sslvrfFailIfNoPeerCert)) bits |= 2;
    if (VerifyMode.Contains(sslvrfClientOnce)) bits |= 4;
    Api<void (*)(void*, int, int (*)(int, void*))>(eCtxSetVerify)(Context, bits, VerifyOn ? &VerifyCallback : nullptr);
    Api<void (*)(void*, int)>(eCtxSetVerifyDepth)(Context, VerifyDepth);
  }
  if (kind == sslCtxServer)
    Api<int (*)(void*, const unsigned char*, unsigned)>(eCtxSetSessionIdContext)(
        Context, reinterpret_cast<const unsigned char*>(&ContextId), sizeof(ContextId));
  if (!RootCertFile.empty()) {
    void* list = Api<void* (*)(const char*)>(eLoadClientCAFile)(RootCertFile.c_str());
    if (list != nullptr) Api<void (*)(void*, void*)>(eCtxSetClientCAList)(Context, list);
  }
}

// ---------------------------------------------------------------------------------------
// Connection, cipher and certificate wrappers.

TIdSSLSocket::~TIdSSLSocket() {
  if (SSL != nullptr && g_bound) {
    Api<int (*)(void*)>(eShutdown)(SSL);
    Api<void (*)(void*)>(eFree)(SSL);
  }
}

void TIdSSLSocket::Open(TIdSSLContext* context, TIdStackSocketHandle socket, bool server,
                        const std::string& host_name) {
  Context = context;
  SSL = Api<void* (*)(void*)>(eNew)(context->Context);
  if (SSL == nullptr) return;
  if (Api<int (*)(void*, int, void*)>(eSetExData)(SSL, 0, this) < 1)
    throw EIdOSSLDataBindingError("Error binding data to SSL socket.");
  Api<int (*)(void*, int)>(eSetFd)(SSL, static_cast<int>(socket));
  if (!server && !host_name.empty() && !TIdStack::IsDottedAddress(host_name))
    Api<long (*)(void*, int, long, void*)>(xCtrl)(SSL, kCtrlSetTlsextHostname, kTlsextNametypeHostName,
                                                  const_cast<char*>(host_name.c_str()));
  if (server) {
    if (Api<int (*)(void*)>(eAccept)(SSL) < 1) throw EIdOSSLAcceptError("Error accepting connection with SSL.");
  } else {
    if (Api<int (*)(void*)>(eConnect)(SSL) < 1) throw EIdOSSLConnectError("Error connecting with SSL.");
  }
  TIdSSLCipher* c = Cipher();
  if (Parent != nullptr)
    Parent->DoStatusInfo("Cipher: name = " + c->Name() + "; description = " + c->Description() +
                         "; bits = " + std::to_string(c->Bits()) + "; version = " + c->Version() + "; ");
}

int TIdSSLSocket::Recv(void* buffer, int length) {
  int r = Api<int (*)(void*, void*, int)>(eRead)(SSL, buffer, length);
  if (r > 0) return r;
  int e = Api<int (*)(const void*, int)>(eGetError)(SSL, r);
  if (e == kErrorWantRead || e == kErrorWantWrite) {
    r = Api<int (*)(void*, void*, int)>(eRead)(SSL, buffer, length);
    if (r > 0) return r;
    e = Api<int (*)(const void*, int)>(eGetError)(SSL, r);
  }
  // Only the peer's closing message ends the stream; a connection cut without it, or any
  // other failure, must not pass for the end of the data.
  if (e == kErrorZeroReturn) return 0;
  throw EIdOpenSSLError("Error reading with SSL.");
}

int TIdSSLSocket::Send(const void* buffer, int length) {
  int r = Api<int (*)(void*, const void*, int)>(eWrite)(SSL, buffer, length);
  if (r > 0) return r;
  const int e = Api<int (*)(const void*, int)>(eGetError)(SSL, r);
  if (e == kErrorWantRead || e == kErrorWantWrite) {
    r = Api<int (*)(void*, const void*, int)>(eWrite)(SSL, buffer, length);
    if (r > 0) return r;
  }
  throw EIdOpenSSLError("Error writing with SSL.");
}

bool TIdSSLSocket::Pending() const { return SSL != nullptr && Api<int (*)(const void*)>(xPending)(SSL) > 0; }

TIdSSLCipher* TIdSSLSocket::Cipher() {
  if (!cipher_) cipher_ = std::make_unique<TIdSSLCipher>(SSL);
  return cipher_.get();
}

std::string TIdSSLCipher::Description() const {
  char buffer[1024] = {0};
  const void* c = Api<const void* (*)(const void*)>(eGetCurrentCipher)(ssl_);
  if (c == nullptr) return std::string();
  const char* d = Api<const char* (*)(const void*, char*, int)>(eCipherDescription)(c, buffer, sizeof(buffer));
  std::string text = d ? d : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string TIdSSLCipher::Name() const {
  const void* c = Api<const void* (*)(const void*)>(eGetCurrentCipher)(ssl_);
  const char* n = c ? Api<const char* (*)(const void*)>(eCipherGetName)(c) : nullptr;
  return n ? n : "";
}

int TIdSSLCipher::Bits() const {
  const void* c = Api<const void* (*)(const void*)>(eGetCurrentCipher)(ssl_);
  int alg = 0;
  return c ? Api<int (*)(const void*, int*)>(eCipherGetBits)(c, &alg) : 0;
}

std::string TIdSSLCipher::Version() const {
  const void* c = Api<const void* (*)(const void*)>(eGetCurrentCipher)(ssl_);
  const char* v = c ? Api<const char* (*)(const void*)>(eCipherGetVersion)(c) : nullptr;
  return v ? v : "";
}

namespace {
std::string NameText(void* name) {
  if (name == nullptr) return std::string();
  char buffer[512] = {0};
  const char* t = Api<const char* (*)(void*, char*, int)>(eNameOneline)(name, buffer, sizeof(buffer));
  return t ? t : "";
}
}  // namespace

std::string TIdX509::SubjectText() const {
  return certificate_ ? NameText(Api<void* (*)(void*)>(eGetSubjectName)(certificate_)) : std::string();
}

std::string TIdX509::IssuerText() const {
  return certificate_ ? NameText(Api<void* (*)(void*)>(eGetIssuerName)(certificate_)) : std::string();
}

// ---------------------------------------------------------------------------------------
// Client handler.

TIdSSLIOHandlerSocket::TIdSSLIOHandlerSocket(TComponent* AOwner)
    : TIdIOHandlerSocket(AOwner), options_(std::make_shared<TIdSSLOptions>()) {}

TIdSSLIOHandlerSocket::~TIdSSLIOHandlerSocket() {
  try {
    TIdSSLIOHandlerSocket::CloseHandler();
  } catch (const Exception&) {
  }
}

namespace {

// A library context set up from the options, reporting to `parent`.
std::shared_ptr<TIdSSLContext> MakeContext(const TIdSSLOptions& options, TIdSSLEvents* parent, bool verify_on,
                                           bool status_on, TIdSSLCtxMode kind) {
  auto context = std::make_shared<TIdSSLContext>();
  context->Parent = parent;
  context->Method = options.Method;
  context->Mode = options.Mode;
  context->RootCertFile = options.RootCertFile;
  context->CertFile = options.CertFile;
  context->KeyFile = options.KeyFile;
  context->VerifyDepth = options.VerifyDepth;
  context->VerifyMode = options.VerifyMode;
  context->VerifyDirs = options.VerifyDirs;
  context->CipherList = options.CipherList;
  context->VerifyOn = verify_on;
  context->StatusInfoOn = status_on;
  context->SetUpContext(kind);
  return context;
}

}  // namespace

void TIdSSLIOHandlerSocket::CloseHandler() {
  ssl_socket_.reset();
  if (!is_peer_) context_.reset();
  TIdIOHandlerSocket::CloseHandler();
}

void TIdSSLIOHandlerSocket::ConnectHandler(const std::string& host, int port, const std::string& bound_ip,
                                           int bound_port, int bound_low, int bound_high, int timeout_ms) {
  TIdIOHandlerSocket::ConnectHandler(host, port, bound_ip, bound_port, bound_low, bound_high, timeout_ms);
  host_name_ = host;
  if (OnBeforeConnect) OnBeforeConnect(this);
  try {
    context_ =
        MakeContext(*options_, this, static_cast<bool>(OnVerifyPeer), static_cast<bool>(OnStatusInfo), sslCtxClient);
  } catch (const EIdOSSLCouldNotLoadSSLLibrary&) {
    if (!pass_through_) throw;
  }
  if (!pass_through_) OpenEncodedConnection();
}

void TIdSSLIOHandlerSocket::OpenEncodedConnection() {
  if (ssl_socket_) return;
  auto socket = std::make_unique<TIdSSLSocket>(events_);
  socket->Open(context_.get(), Binding()->Handle, is_peer_, host_name_);
  ssl_socket_ = std::move(socket);
}

void TIdSSLIOHandlerSocket::SetPassThrough(bool value) {
  if (!value && IsConnected()) {
    if (!context_) throw EIdOSSLCouldNotLoadSSLLibrary("Could not load SSL library.");
    OpenEncodedConnection();
  }
  pass_through_ = value;
}

bool TIdSSLIOHandlerSocket::WaitReadable(int ms) {
  if (!pass_through_ && ssl_socket_ && ssl_socket_->Pending()) return true;
  return TIdIOHandlerSocket::WaitReadable(ms);
}

int TIdSSLIOHandlerSocket::ReceiveBuffer(void* buffer, int length) {
  if (pass_through_ || !ssl_socket_) return RawReceive(buffer, length);
  if (!IsConnected()) throw EIdClosedSocket("Disconnected.");
  return ssl_socket_->Recv(buffer, length);  // a failed TLS read raises
}

int TIdSSLIOHandlerSocket::SendBuffer(const void* buffer, int length) {
  if (pass_through_ || !ssl_socket_) return RawSend(buffer, length);
  if (!IsConnected()) throw EIdClosedSocket("Disconnected.");
  return ssl_socket_->Send(buffer, length);
}

void TIdSSLIOHandlerSocket::DoStatusInfo(const std::string& text) {
  if (OnStatusInfo) OnStatusInfo(text);
}
void TIdSSLIOHandlerSocket::DoGetPassword(std::string& password) {
  if (OnGetPassword) OnGetPassword(password);
}
bool TIdSSLIOHandlerSocket::DoVerifyPeer(TIdX509* certificate) {
  return OnVerifyPeer ? OnVerifyPeer(certificate) : true;
}

// ---------------------------------------------------------------------------------------
// Server handler.

TIdServerIOHandlerSSL::TIdServerIOHandlerSSL(TComponent* AOwner)
    : TIdServerIOHandler(AOwner), options_(std::make_shared<TIdSSLOptions>()) {}

void TIdServerIOHandlerSSL::Init() {
  context_ =
      MakeContext(*options_, this, static_cast<bool>(OnVerifyPeer), static_cast<bool>(OnStatusInfo), sslCtxServer);
  initialized_ = true;
}

TIdIOHandler* TIdServerIOHandlerSSL::AcceptClient(TIdStackSocketHandle listening) {
  if (!initialized_) Init();
  auto handler = std::make_unique<TIdSSLIOHandlerSocket>(nullptr);
  handler->is_peer_ = true;
  handler->OpenHandler();
  if (!handler->Binding()->AcceptFrom(listening)) return nullptr;
  handler->options_ = options_;
  handler->context_ = context_;
  handler->events_ = this;
  handler->pass_through_ = false;
  try {
    handler->OpenEncodedConnection();
  } catch (...) {
    handler->CloseHandler();
    throw;
  }
  return handler.release();
}

void TIdServerIOHandlerSSL::DoStatusInfo(const std::string& text) {
  if (OnStatusInfo) OnStatusInfo(text);
}
void TIdServerIOHandlerSSL::DoGetPassword(std::string& password) {
  if (OnGetPassword) OnGetPassword(password);
}
bool TIdServerIOHandlerSSL::DoVerifyPeer(TIdX509* certificate) {
  return OnVerifyPeer ? OnVerifyPeer(certificate) : true;
}
