// URL text for the browser: what the user typed made into a URL, relative references
// resolved, form data encoded.
#pragma once

#include <string>
#include <string_view>

namespace kv::browser {

// The lower-case scheme of `url` ("" when it has none).
std::string UrlScheme(std::string_view url);
// A typed address as a URL: "c:\d\a.html" and "/opt/k/a.html" become file URLs
// ("file:///c:/d/a.html"), a scheme is lower-cased, anything else stays as given.
std::string NormalizeUrl(std::string_view input);
// `ref` resolved against `base` (RFC 3986, 5.2); an absolute `ref` is normalised.
std::string ResolveUrl(std::string_view base, std::string_view ref);
// %XX decoded (invalid escapes kept as they are).
std::string PercentDecode(std::string_view s);
// application/x-www-form-urlencoded for bytes of the document's charset.
std::string FormEncode(std::string_view bytes);

}  // namespace kv::browser
