#include "shell/ini_config.h"

#include <memory>

#include "framework/controls/dialogs.h"
#include "framework/controls/forms.h"
#include "platform/base/codepage.h"
#include "platform/base/system.h"
#include "shell/texts.h"

namespace {

constexpr const char* kFileName = "Korvane.ini";
constexpr const char* kSection = "general";
constexpr const char* kSkeyName = "Skey";

struct ModuleState {
  AnsiString program_dir;  // "" until first use: then the platform's
  AnsiString key = TSB64::kAlphabet;
  std::unique_ptr<TIniFile> ini;  // made by the first TINIConfig, kept for the process
};

ModuleState& State() {
  static ModuleState state;
  return state;
}

const AnsiString& ProgramDir() {
  ModuleState& state = State();
  if (state.program_dir.empty()) state.program_dir = KvProgramDirectory();
  return state.program_dir;
}

void ShowShellMessage(const char* utf8) { ShowMessage(kv::Utf8ToAnsi(utf8)); }

}  // namespace

TINIConfig::TINIConfig() {
  ModuleState& state = State();
  const AnsiString path = ProgramDir() + kFileName;
  if (!FileExists(path)) {
    ShowShellMessage(shell_texts::kConfigMissing);
    Application->Terminate();
    return;
  }
  if (!state.ini) state.ini = std::make_unique<TIniFile>(path);
  ini_ = state.ini.get();
  state.key = ini_->ReadString(kSection, kSkeyName, TSB64::kAlphabet);
}

const AnsiString& TINIConfig::ProgramDirectory() { return ProgramDir(); }

void TINIConfig::ResetModuleState(const AnsiString& ProgramDir) {
  ModuleState& state = State();
  state.program_dir = ProgramDir;
  state.key = TSB64::kAlphabet;
  state.ini.reset();
}

void TINIConfig::Read(const char* Key, const char* Default, AnsiString& Value) {
  if (ini_ == nullptr) return;
  codec_.Decode(ini_->ReadString(kSection, Key, Default), Value);
}

void TINIConfig::GetVersion(AnsiString& Value) { Read("Version", "1.2.0.0", Value); }
void TINIConfig::GetServerURL(AnsiString& Value) { Read("ServerURL", "http://127.0.0.1", Value); }
// The default is stored encoded, so that an absent port decodes to "8080" itself (the
// plain text would decode to three bytes of no use in a URL).
void TINIConfig::GetServerPort(AnsiString& Value) { Read("ServerPort", codec_.Encode("8080").c_str(), Value); }
void TINIConfig::GetIndexPageURI(AnsiString& Value) { Read("IndexPageURI", "/Quabo/login/home.html", Value); }
void TINIConfig::GetLoginPageURI(AnsiString& Value) { Read("LoginPageURI", "/Quabo/login/init.html", Value); }
void TINIConfig::GetLogoutPageURI(AnsiString& Value) { Read("LogoutPageURI", "/Quabo/login/Logout.html", Value); }
void TINIConfig::GetSkin(AnsiString& Value) { Read("skin", "", Value); }
void TINIConfig::GetSkey(AnsiString& Value) { Read(kSkeyName, TSB64::kAlphabet, Value); }

bool TINIConfig::IsComplete() {
  // One destination for all five reads: a value that is not TSB64 counts as the
  // previous key's value.
  AnsiString value;
  GetVersion(value);
  if (value.empty()) return false;
  GetServerURL(value);
  if (value.empty()) return false;
  GetServerPort(value);
  if (value.empty()) return false;
  GetLoginPageURI(value);
  if (value.empty()) return false;
  GetIndexPageURI(value);
  return !value.empty();
}

AnsiString TINIConfig::BuildURL(const AnsiString& uri) {
  AnsiString url;
  GetServerURL(url);
  AnsiString port;
  GetServerPort(port);
  const AnsiString upper = AnsiUpperCase(url);
  if (AnsiPos("HTTP://", upper) == 0 && AnsiPos("HTTPS://", upper) == 0) url = "http://" + url;
  if (!port.empty()) url += ":" + port;
  if (!uri.empty()) {
    if (uri[0] != '/') url += "/";
    url += uri;
  }
  return url;
}

int TINIConfig::WriteItems(const TStrings& Sections, const TStrings& Keys, const TStrings& Values) {
  if (Sections.Count() != Keys.Count() || Keys.Count() != Values.Count()) {
    ShowShellMessage(shell_texts::kUnequalItemLists);
    return 0;
  }
  if (ini_ == nullptr) return 0;
  for (int i = 0; i < Sections.Count(); ++i) ini_->WriteString(Sections[i], Keys[i], codec_.Encode(Values[i]));
  return 1;
}

AnsiString TINIConfig::LoadConfig(const AnsiString& FileName, int isEncoded) {
  // A name with a folder ("\" or "/") is used as it is.
  const AnsiString path = FileName.find_first_of("\\/") != AnsiString::npos ? FileName : ProgramDir() + FileName;
  if (!FileExists(path)) return AnsiString();
  TIniFile ini(path);
  const AnsiString& key = State().key;
  TStringList sections;
  TStringList keys;
  ini.ReadSections(&sections);
  AnsiString items;
  for (int s = 0; s < sections.Count(); ++s) {
    ini.ReadSection(sections[s], &keys);
    for (int k = 0; k < keys.Count(); ++k) {
      AnsiString value = ini.ReadString(sections[s], keys[k], AnsiString());
      if (isEncoded != 0 && value != key) codec_.Decode(value, value);
      items += "#" + sections[s] + "," + keys[k] + "=" + value;
    }
  }
  return items;
}

int TINIConfig::SaveConfig(const AnsiString& FileName, const AnsiString& ConfigItems, int isEncode) {
  // A drive path ("c:\...") or an absolute POSIX path is used as it is; any other name,
  // with or without folders, is under the program directory.
  const bool full = FileName.find(':') != AnsiString::npos || (!FileName.empty() && FileName[0] == '/');
  const AnsiString path = full ? FileName : ProgramDir() + FileName;
  if (ConfigItems.find('#') == AnsiString::npos) return 0;
  try {
    TIniFile ini(path);
    // The markers are ASCII below 0x40, which no trail byte of a double-byte code page
    // uses, so the items are cut on bytes.
    size_t start = 0;
    for (;;) {
      const size_t hash = ConfigItems.find('#', start);
      const AnsiString piece = ConfigItems.substr(start, hash == AnsiString::npos ? AnsiString::npos : hash - start);
      const size_t comma = piece.find(',');
      const size_t equals = comma == AnsiString::npos ? AnsiString::npos : piece.find('=', comma + 1);
      if (equals != AnsiString::npos) {
        const AnsiString value = piece.substr(equals + 1);
        ini.WriteString(piece.substr(0, comma), piece.substr(comma + 1, equals - comma - 1),
                        isEncode == 1 ? codec_.Encode(value) : value);
      }
      if (hash == AnsiString::npos) break;
      start = hash + 1;
    }
  } catch (const std::exception&) {
    return 0;
  }
  return 1;
}
