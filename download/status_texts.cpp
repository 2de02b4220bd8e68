#include "download/status_texts.h"

#include <cmath>

#include "download/texts.h"

namespace {

struct CodeText {
  DWORD code;
  const char* text;
};

const CodeText kCodeTexts[] = {
    // Bind status codes.
    {0, "The operation was successful"},
    {1, "Finding resource..."},
    {2, "Connecting..."},
    {3, "Server redirecting client..."},
    {4, "Beginning to download data..."},
    {5, "Downloading data..."},
    {6, "Ending data download..."},
    {7, "Beginning to download components..."},
    {8, "Installing components..."},
    {9, "Ending component download..."},
    {10, "Using cached copy..."},
    {11, "Sending request..."},
    {12, "Class ID available..."},
    {13, "MIME type available..."},
    {14, "Cache file name available..."},
    {15, "Beginning synchronous operation..."},
    {16, "Ending synchronous operation..."},
    {17, "Beginning to upload data..."},
    {18, "Uploading data..."},
    {19, "Ending data upload..."},
    {20, "Protocol class ID available..."},
    {21, "Encoding data..."},
    {22, "Verified MIME type available..."},
    {23, "Class install location available..."},
    {24, "Decoding data..."},
    {25, "Loading MIME handler..."},
    {26, "Content-Disposition resource is an attachment..."},
    {27, "A filter reported the MIME type..."},
    {28, "The class ID can be instantiated..."},
    {29, "An IUnknown interface is available..."},
    {30, "Binding directly to the resource..."},
    {31, "Raw MIME type available..."},
    {32, "Detecting the proxy..."},
    {33, "Accepted ranges available..."},
    {34, "A cookie was sent"},
    {35, "A compact privacy policy was received."},
    {36, "A cookie was suppressed."},
    {37, "A a cookie has been initialized. "},
    {38, "A cookie was accepted."},
    {39, "A cookie was rejected."},
    {40, "The user is prompted about a cookie."},
    {41, "A cookie is leashed to first-party use."},
    {42, "A cookie was downgraded to a session cookie."},
    {43, "A privacy policy reference was received."},
    {44, "A privacy policy header was received."},
    {45, "A session cookie was received."},
    {46, "A persistent cookie was received. "},
    {47, "Session cookies are allowed."},
    {48, "A cache-control header was received."},
    {49, "The Content-Disposition header contains a file name."},
    {50, "The reported Content-Type of the file does not match the content. "},
    {51, "The publisher of the resource is available."},
    {52, "The display name of the resource is available."},
    {53, "A navigation was blocked for a certificate problem."},
    {54, "The server's MIME type is available."},
    {55, "The sniffed class ID is available."},
    {56, "Download progress values are above the maximum 32-bit file size limit."},
    // HTTP status codes.
    {100, "Continue"},
    {101, "Switching Protocols"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Moved Temporarily"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "None Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Request Entity Too Large"},
    {414, "Request-URI Too Long"},
    {415, "Unsupported Media Type"},
    {416, "Requested Range Not Satisfiable"},
    {417, "Expectation Failed"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
    // Internet security codes.
    {12037, "The date of the server's certificate is not valid."},
    {12038, "The name in the server's certificate does not match the host."},
    {12039, "The request is redirected from HTTP to HTTPS."},
    {12040, "The request is redirected from HTTPS to HTTP."},
    {12041, "The content is not entirely secure."},
    {12042, "Data is posted to a server that is not secure."},
    {12043, "The posted data is sent over a connection that is not secure."},
    {12044, "The server asks for a client certificate."},
    {12045, "The certificate authority is not trusted or not valid."},
    {12046, "Client authorisation is not set up on this computer."},
    {12054, "The server asks for a special login."},
    {12168, "The redirection needs the user's confirmation."},
    {12170, "The server's certificate has been revoked."},
    {262632, "Asynchronous mode."},
    // Result codes.
    {0x80004004, "Operation Aborted."},
    {0x800401E0, "The binding must be connected manually."},
    {0x800401E1, "The operation could not be completed within the time limit."},
    {0x800401E2, "The moniker needs a generic composition."},
    {0x800401E3, "The operation is unavailable."},
    {0x800401E4, "The display name has an invalid syntax."},
    {0x800401E5, "The object could not be found."},
    {0x800401E6, "The file extension is not valid."},
    {0x800401E7, "An intermediate interface is not supported."},
    {0x800401E8, "The moniker cannot be bound."},
    {0x800401E9, "The moniker is not bound."},
    {0x800401EA, "The moniker cannot open the file."},
    {0x800401EB, "The user must be asked to continue."},
    {0x800401EC, "The moniker has no inverse."},
    {0x800401ED, "The moniker does not refer to storage."},
    {0x800401EE, "The monikers have no common prefix."},
    {0x800401EF, "The moniker could not be enumerated."},
    {0x80070057, "One or more parameters are invalid."},
    {0x800BFD18, "Permission to download is declined."},
    {0x800BFE18, "Result is dispatched."},
    {0x800BFF18, "Cannot replace a protected System File Protection (SFP) file."},
    {0x800C0006, "The object was not found."},
    {0x800C0011, "Use the default action."},
    {0x800C0012, "Use the default settings."},
    {0x800C0013, "The requested option is unknown."},
    {0x800C0014, "The request is being redirected."},
    {0x800C0015, "The request is being redirected to a directory."},
    {0x800C0016, "The requested resource could not be locked."},
    {0x800C0017, "Re-issue request with extended Binding."},
    {0x800C0018, "Binding is terminated."},
};

}  // namespace

AnsiString BindStatusText(DWORD code) {
  for (const CodeText& row : kCodeTexts)
    if (row.code == code) return row.text;
  return "Unknown Response: " + IntToStr(code) + " " + SysErrorMessage(code);
}

AnsiString DataFlagText(DWORD flags) {
  switch (flags) {
    case 1: return "Identifed the first call to OnDataAvailable.";
    case 2: return "Identifed the intermediate call to OnDataAvailable.";
    case 4: return "Identifed the last call to OnDataAvailable.";
    case 8: return "All of the requested data is available.";
    case 16: return "Size of the data available is unknown.";
    default: return BindStatusText(flags);
  }
}

AnsiString SecondsToText(int64_t seconds) {
  return Format("%2.2d:%2.2d:%2.2d",
                {static_cast<int>((seconds / 3600) % 60), static_cast<int>((seconds / 60) % 60),
                 static_cast<int>(seconds % 60)});
}

AnsiString FormatSize(double bytes) {
  if (!(bytes > 0)) return AnsiString();
  if (bytes < 1024) return Format("%.2n b", {bytes});
  double kb = bytes / 1024;
  if (kb < 1024) return Format("%.2n Kb", {kb});
  return Format("%.2n Mb", {kb / 1024});
}

const char* EngineText(int id) {
  switch (id) {
    case sTimeFormat: return "mm:ss.zzz";
    case sKbPerSec: return "kb/sec";
    case sRegisterBsc: return "RegisterBindStatusCallback: ";
    case sRegisterMoniker: return "Registering new moniker: ";
    case sRevokeBsc: return "RevokeBindStatusCallback: ";
    case sBindToStorage: return "MonikerBindToStorage: ";
    case sCreateBindCtx: return "CreateAsyncBindCtx: ";
    case sCreateMoniker: return "CreateURLMonikerEx: ";
    case sDownloadsFolder: return "Downloads\\";
    case sDone: return "Done.";
    case sUrlDownloadToFile: return "UrlDownloadToFile";
    case sErrCreateBindCtx: return "Error while CreateAsyncBindCtx: ";
    case sErrBindToStorage: return "Error while MonikerBindToStorage ";
    case sErrCreateFolder: return " while creating download folder";
    case sErrOpenFolder: return "Error while openning folder";
    case sErrProcessEvents: return "ProcessEvents fails to wait until complete.";
    case sErrRegisterBsc: return "Error while RegisterBindStatusCallback: ";
    case sErrRevokeBsc: return "Error while RevokeBindStatusCallback. ";
    case sErrUrlDownloadToFile: return "Error while UrlDownloadToFile";
    case sErrTimeOut: return "Error: Time Out.";
    case sErrCreateMoniker: return "Error while CreateURLMonikerEx: ";
    default: return "";
  }
}
