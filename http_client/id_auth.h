// Authentication schemes (a process-wide registry; Basic registered at start-up) and the
// 3-to-4 coders that give their base64 text.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "framework/core/classes.h"
#include "http_client/id_global.h"
#include "http_client/id_headers.h"
#include "http_client/id_tcp.h"
#include "http_client/id_uri.h"

enum TIdAuthWhatsNext { stepAsk = 0, stepSend = 1, stepFail = 2 };

class TIdAuthentication : public TPersistent {
 public:
  TIdAuthentication() = default;
  KV_CLASS_NAME(TIdAuthentication)

  virtual TIdAuthWhatsNext DecideStep() = 0;
  virtual int StepCount() const { return 0; }
  virtual void SetPassword(const std::string& value) { SchemeValues.SetValue("Password", value); }
  virtual void SetUsername(const std::string& value) { SchemeValues.SetValue("Username", value); }
  virtual void Restart() {}
  virtual std::string HeaderValue() = 0;
  virtual bool KeepsConnection() const { return true; }

  TIdAuthWhatsNext NextStep() { return DecideStep(); }
  std::string Username() const { return SchemeValues.Values("username"); }
  std::string Password() const { return SchemeValues.Values("password"); }
  // The authentication text sent as the header value.
  std::string Authentication() { return HeaderValue(); }
  void SetAuthParams(const TIdHeaderList& challenges);
  // The first challenge line that begins with `scheme` (case-sensitive).
  std::string Challenge(const std::string& scheme) const;
  int CurrentStep() const { return current_step_; }

  TIdHeaderList SchemeValues;

 protected:
  int current_step_ = 0;
  std::unique_ptr<TIdHeaderList> challenges_;
};

class TIdBasicAuthentication : public TIdAuthentication {
 public:
  KV_CLASS_NAME(TIdBasicAuthentication)
  TIdAuthWhatsNext DecideStep() override;
  int StepCount() const override { return 1; }
  void Restart() override { current_step_ = 0; }
  std::string HeaderValue() override;
  bool KeepsConnection() const override { return false; }

  std::string Realm;
};

// A class reference: its name and how to make an instance.
struct TIdAuthenticationClass {
  std::string ClassName;
  std::function<std::unique_ptr<TIdAuthentication>()> Create;
  explicit operator bool() const { return static_cast<bool>(Create); }
};

void RegisterAuthenticationMethod(const std::string& name, const TIdAuthenticationClass& cls);
TIdAuthenticationClass FindAuthClass(const std::string& name);

// ---------------------------------------------------------------------------------------
// Coders.

class TIdEncoder : public TIdBaseComponent {
 public:
  explicit TIdEncoder(TComponent* AOwner = nullptr) : TIdBaseComponent(AOwner) {}
  KV_CLASS_NAME(TIdEncoder)
  virtual std::string Encode(TStream* stream, int count) = 0;
  std::string EncodeString(const std::string& text);
};

class TIdDecoder : public TIdBaseComponent {
 public:
  explicit TIdDecoder(TComponent* AOwner = nullptr) : TIdBaseComponent(AOwner) {}
  KV_CLASS_NAME(TIdDecoder)
  virtual void DecodeToStream(const std::string& text, TStream* destination) = 0;
  std::string DecodeString(const std::string& text);
};

class TIdEncoder3to4 : public TIdEncoder {
 public:
  using TIdEncoder::TIdEncoder;
  KV_CLASS_NAME(TIdEncoder3to4)
  std::string Encode(TStream* stream, int count) override;

 protected:
  std::string coding_table_;
  char fill_char_ = '=';
};

class TIdDecoder4to3 : public TIdDecoder {
 public:
  using TIdDecoder::TIdDecoder;
  KV_CLASS_NAME(TIdDecoder4to3)
  void DecodeToStream(const std::string& text, TStream* destination) override;

 protected:
  void BuildDecodeTable(const std::string& coding_table);
  unsigned char decode_table_[127] = {};  // indexed by character code 1..127; 255 = not in the alphabet
  char fill_char_ = '=';
};

class TIdEncoderMIME : public TIdEncoder3to4 {
 public:
  explicit TIdEncoderMIME(TComponent* AOwner = nullptr);
  KV_CLASS_NAME(TIdEncoderMIME)
  static std::string EncodeText(const std::string& text);  // the class-level form
};

class TIdDecoderMIME : public TIdDecoder4to3 {
 public:
  explicit TIdDecoderMIME(TComponent* AOwner = nullptr);
  KV_CLASS_NAME(TIdDecoderMIME)
  static std::string DecodeText(const std::string& text);
};

extern const char* const GBase64CodeTable;

// A finished authentication recorded for a URL.
class TIdAuthenticationItem : public TObject {
 public:
  KV_CLASS_NAME(TIdAuthenticationItem)
  TIdURI URL;
  std::vector<std::string> Params;
};

// The optional store of finished authentications.
class TIdAuthenticationManager : public TIdBaseComponent {
 public:
  explicit TIdAuthenticationManager(TComponent* AOwner) : TIdBaseComponent(AOwner) {}
  KV_CLASS_NAME(TIdAuthenticationManager)
  void AddAuthentication(TIdAuthentication* authentication, TIdURI& url);
  const std::vector<std::unique_ptr<TIdAuthenticationItem>>& Authentications() const { return items_; }

 private:
  std::vector<std::unique_ptr<TIdAuthenticationItem>> items_;
};
