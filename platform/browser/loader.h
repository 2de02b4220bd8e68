// The browser's one seam to the bytes it shows: a request goes in, its events come back,
// each as a task on the calling thread's queue (task.h), never inside StartLoad.
//
// file: and about: are served here; http and https go through the internet layer's
// adapter, which implements the same seam (until it is linked in they fail with
// INET_E_RESOURCE_NOT_FOUND).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/types.h"

namespace kv::browser {

// Transfer failures (the platform's codes).
constexpr HRESULT INET_E_INVALID_URL = static_cast<HRESULT>(0x800C0002);
constexpr HRESULT INET_E_RESOURCE_NOT_FOUND =
    static_cast<HRESULT>(0x800C0005);  // also refused, unknown host, missing file
constexpr HRESULT INET_E_DOWNLOAD_FAILURE = static_cast<HRESULT>(0x800C0008);  // reset, truncated, too many redirects
constexpr HRESULT INET_E_CONNECTION_TIMEOUT = static_cast<HRESULT>(0x800C000B);
constexpr HRESULT INET_E_UNKNOWN_PROTOCOL = static_cast<HRESULT>(0x800C000D);
constexpr HRESULT INET_E_SECURITY_PROBLEM = static_cast<HRESULT>(0x800C000E);

struct LoadRequest {
  std::string url;             // absolute, as the browser normalised it
  std::string method = "GET";  // "GET" or "POST"
  std::string headers;         // extra header lines, each ending in "\r\n"
  std::vector<uint8_t> body;   // POST data
  std::string user_agent;      // empty: the internet layer's default
  std::string referer;
  bool no_cache_write = false;
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

// An adapter for http and https; the internet layer installs one. Without it those
// schemes fail with INET_E_RESOURCE_NOT_FOUND.
using HttpLoaderFactory = std::unique_ptr<Load> (*)(const LoadRequest& request, LoadEvents* events);
void SetHttpLoader(HttpLoaderFactory factory);

// The local file path of a file: URL ("file:///c:/d/a.html" through the drive mapping,
// "file:///opt/k/a.html" as it stands), percent-escapes decoded; empty when not a file URL.
std::string FileUrlToPath(const std::string& url);

}  // namespace kv::browser
