#include "http_client/id_auth.h"

#include <memory>
#include <mutex>
#include <vector>

const char* const GBase64CodeTable = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// ---------------------------------------------------------------------------------------
// Registry.

namespace {

// The scheme names, each with the holder of its class. Made by the first use (which
// registers Basic) and freed, holders included, when the module shuts down.
struct TAuthListObject {
  TIdAuthenticationClass AuthClass;
};

struct Registry {
  Registry() {
    entries.emplace_back("Basic", std::make_unique<TAuthListObject>(TAuthListObject{TIdAuthenticationClass{
                                      "TIdBasicAuthentication", [] {
                                        return std::unique_ptr<TIdAuthentication>(new TIdBasicAuthentication());
                                      }}}));
  }
  std::mutex lock;
  std::vector<std::pair<std::string, std::unique_ptr<TAuthListObject>>> entries;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

void RegisterAuthenticationMethod(const std::string& name, const TIdAuthenticationClass& cls) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const auto& e : r.entries)
    if (SameText(e.first, name))
      throw EIdAlreadyRegisteredAuthenticationMethod(
          Format("This authentication method is already registered with class name %s.",
                 {TVarRec(e.second->AuthClass.ClassName)}));
  r.entries.emplace_back(name, std::make_unique<TAuthListObject>(TAuthListObject{cls}));
}

TIdAuthenticationClass FindAuthClass(const std::string& name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const auto& e : r.entries)
    if (SameText(e.first, name)) return e.second->AuthClass;
  return {};
}

// ---------------------------------------------------------------------------------------
// Authentication.

void TIdAuthentication::SetAuthParams(const TIdHeaderList& challenges) {
  if (!challenges_) challenges_ = std::make_unique<TIdHeaderList>();
  challenges_->Assign(challenges);
}

std::string TIdAuthentication::Challenge(const std::string& scheme) const {
  if (!challenges_) return std::string();
  for (const auto& line : challenges_->Lines())
    if (line.compare(0, scheme.size(), scheme) == 0) return line;
  return std::string();
}

TIdAuthWhatsNext TIdBasicAuthentication::DecideStep() {
  std::string text = Challenge("Basic");
  FetchToken(text, " ");
  while (!text.empty()) {
    std::string item = FetchToken(text, ", ");
    const size_t eq = item.find('=');
    if (eq != std::string::npos) item.replace(eq, 1, SchemeValues.NameValueSeparator);
    SchemeValues.Add(item);
  }
  const std::string realm = SchemeValues.Values("realm");
  Realm = realm.size() >= 2 ? realm.substr(1, realm.size() - 2) : std::string();
  return Username().empty() ? stepAsk : stepSend;
}

std::string TIdBasicAuthentication::HeaderValue() {
  return "Basic " + TIdEncoderMIME::EncodeText(Username() + ":" + Password());
}

void TIdAuthenticationManager::AddAuthentication(TIdAuthentication* authentication, TIdURI& url) {
  auto item = std::make_unique<TIdAuthenticationItem>();
  item->URL.Parse(url.URI());
  item->Params = authentication->SchemeValues.Lines();
  items_.push_back(std::move(item));
}

// ---------------------------------------------------------------------------------------
// Coders.

std::string TIdEncoder::EncodeString(const std::string& text) {
  TIdReadMemoryStream stream;
  stream.SetPointer(text.data(), static_cast<int64_t>(text.size()));
  return Encode(&stream, 2147483647);
}

std::string TIdDecoder::DecodeString(const std::string& text) {
  TStringStream out;
  DecodeToStream(text, &out);
  return out.DataString();
}

std::string TIdEncoder3to4::Encode(TStream* stream, int count) {
  if (count != 2147483647 && count % 3 != 0) throw EIdException("Uneven size in Encode.");
  const int64_t left = stream->Size() - stream->Position();
  const int64_t n = std::min<int64_t>(count, left < 0 ? 0 : left);
  if (n <= 0) return std::string();
  std::string in(static_cast<size_t>(n), '\0');
  stream->ReadBuffer(in.data(), static_cast<int>(n));
  std::string out;
  out.reserve(static_cast<size_t>((n + 2) / 3 * 4));
  for (size_t i = 0; i < in.size(); i += 3) {
    const size_t rest = in.size() - i;
    const unsigned a = static_cast<unsigned char>(in[i]);
    const unsigned b = rest > 1 ? static_cast<unsigned char>(in[i + 1]) : 0;
    const unsigned c = rest > 2 ? static_cast<unsigned char>(in[i + 2]) : 0;
    out += coding_table_[a >> 2];
    out += coding_table_[((a << 4) & 63) | (b >> 4)];
    out += rest > 1 ? coding_table_[((b << 2) & 63) | (c >> 6)] : fill_char_;
    out += rest > 2 ? coding_table_[c & 63] : fill_char_;
  }
  return out;
}

void TIdDecoder4to3::BuildDecodeTable(const std::string& coding_table) {
  for (auto& e : decode_table_) e = 255;
  for (size_t i = 0; i < coding_table.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(coding_table[i]);
    if (c >= 1 && c <= 127) decode_table_[c - 1] = static_cast<unsigned char>(i);
  }
}

void TIdDecoder4to3::DecodeToStream(const std::string& text, TStream* destination) {
  if (text.size() % 4 != 0) throw EIdException("Uneven size in DecodeToStream.");
  // Every character is looked up within the table; one outside it counts as not in the
  // alphabet.
  auto value = [this](char ch) -> uint32_t {
    const unsigned char c = static_cast<unsigned char>(ch);
    return (c >= 1 && c <= 127) ? decode_table_[c - 1] : 255u;
  };
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const uint32_t v =
        (value(text[i]) << 18) | (value(text[i + 1]) << 12) | (value(text[i + 2]) << 6) | value(text[i + 3]);
    out += static_cast<char>((v >> 16) & 0xFF);
    if (text[i + 2] == fill_char_) continue;
    out += static_cast<char>((v >> 8) & 0xFF);
    if (text[i + 3] == fill_char_) continue;
    out += static_cast<char>(v & 0xFF);
  }
  if (!out.empty()) destination->WriteBuffer(out.data(), static_cast<int>(out.size()));
}

TIdEncoderMIME::TIdEncoderMIME(TComponent* AOwner) : TIdEncoder3to4(AOwner) {
  coding_table_ = GBase64CodeTable;
  fill_char_ = '=';
}

std::string TIdEncoderMIME::EncodeText(const std::string& text) {
  TIdEncoderMIME encoder;
  return encoder.EncodeString(text);
}

TIdDecoderMIME::TIdDecoderMIME(TComponent* AOwner) : TIdDecoder4to3(AOwner) {
  BuildDecodeTable(GBase64CodeTable);
  fill_char_ = '=';
}

std::string TIdDecoderMIME::DecodeText(const std::string& text) {
  TIdDecoderMIME decoder;
  return decoder.DecodeString(text);
}
