// Responses the browser does not show (an attachment, or neither text nor an image): the
// host's download manager may take them, else they are saved under
// $KORVANE_HOME/Downloads and recorded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/browser/browser.h"

namespace kv::browser {

// The value of header `name` in a raw response head ("" when absent).
std::string HeaderValue(const std::string& raw_headers, const std::string& name);

// True when a response of this type and head is not displayed.
bool IsUndisplayed(const std::string& content_type, const std::string& raw_headers);

// Offers the download to the host's IDownloadManager (through `services`, may be null):
// a URL moniker on `url`, a bind context holding the browser's callback (which answers
// the bind information: the verb and the POST data), `headers` the request's extra
// headers, `redirected` the URL the response came from when it differs. S_OK: the host
// took it; anything else leaves it to the browser.
HRESULT OfferDownload(IServiceProvider* services, const std::string& url, const std::string& redirected,
                      const std::vector<uint8_t>& post_data, const std::string& headers);

// Saves `body` under $KORVANE_HOME/Downloads, named after the Content-Disposition file
// name or the URL's last segment (never outside the folder, never over another file),
// and records it. The path written, or "" when it could not be.
std::string SaveDownload(const std::string& url, const std::string& raw_headers, const std::string& body);

// Records a download that failed in transfer.
void RecordFailedDownload(const std::string& url, HRESULT code);

}  // namespace kv::browser
