// The browser's one seam to the bytes it shows: a request goes in, its events come back,
// each as a task on the calling thread's queue (task.h), never inside StartLoad.
//
// file: and about: are served here; http and https go through the internet layer
// (inet_load.cpp), behind the same seam.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/inet/urlmon.h"

namespace kv::browser {

// Transfers fail with the platform's INET_E_* codes (urlmon.h).

struct LoadRequest {
  std::string url;             // absolute, as the browser normalised it
  std::string method = "GET";  // "GET" or "POST"
  std::string headers;         // extra header lines, each ending in "\r\n"
  std::vector<uint8_t> body;   // POST data
  std::string user_agent;      // empty: the internet layer's default
  std::string referer;
  bool no_cache_write = false;
  // The host's site: asked (as a service provider) for IAuthenticate when a server answers
  // 401. Held for the load's duration; may be null.
  IUnknown* host = nullptr;
};

struct DirectoryEntry {
  std::string name;  // UTF-8
  bool folder = false;
  uint64_t size = 0;
  int64_t modified = 0;  // seconds since 1970
};

// What a load reports, in this order: OnResponse once (after redirects), OnData per chunk,
// then exactly one of OnComplete / OnFailure; or OnDirectory then OnComplete; or
// OnFailure alone. Nothing more after Cancel.
class LoadEvents {
 public:
  virtual ~LoadEvents() = default;
  // status: the HTTP status (200 for file: and about:); content_type as sent ("" unknown);
  // final_url after redirects; length of the body, 0 when unknown.
  virtual void OnResponse(int status, const std::string& content_type, const std::string& final_url,
                          uint64_t length) = 0;
  // The response's status line and header lines (CR LF each), just before OnResponse; only
  // http and https have them.
  virtual void OnHeaders(const std::string& raw) { (void)raw; }
  virtual void OnData(const uint8_t* data, size_t size) = 0;
  virtual void OnDirectory(const std::vector<DirectoryEntry>& entries) = 0;
  virtual void OnComplete() = 0;
  virtual void OnFailure(HRESULT code) = 0;
};

class Load {
 public:
  virtual ~Load() = default;
  // Stops the transfer; no event of it is delivered after this returns.
  virtual void Cancel() = 0;
};

// Starts `request`; `events` must stay valid until the load completes, fails or is
// cancelled (destroying the Load cancels it).
std::unique_ptr<Load> StartLoad(const LoadRequest& request, LoadEvents* events);

// The loader of http and https: the internet layer's unless a test puts its own in place
// (null restores the internet layer's).
using HttpLoaderFactory = std::unique_ptr<Load> (*)(const LoadRequest& request, LoadEvents* events);
void SetHttpLoader(HttpLoaderFactory factory);
std::unique_ptr<Load> StartInetLoad(const LoadRequest& request, LoadEvents* events);

// The process cookie jar as a document sees it: "n=v; n2=v2" for `url` without HttpOnly
// cookies, and one cookie set by script (false when the jar refuses it).
std::string DocumentCookies(const std::string& url);
bool SetDocumentCookie(const std::string& url, const std::string& cookie);

// A top-level page shown: an entry of the history store.
void RecordVisit(const std::string& url, const std::string& title);

// The local file path of a file: URL ("file:///c:/d/a.html" through the drive mapping,
// "file:///opt/k/a.html" as it stands), percent-escapes decoded; empty when not a file URL.
std::string FileUrlToPath(const std::string& url);

}  // namespace kv::browser
