// The shell's configuration file "Korvane.ini" in the program directory: the web
// application's server, port and page paths, a version and a skin file, all in section
// "general", every value stored in the TSB64 form.
//
// The first TINIConfig that finds the file opens it as one INI-file object shared by all
// later ones for the rest of the process; a missing file is reported in a message box and
// the application is told to terminate, and nothing is read or written through that
// object. Each TINIConfig is short-lived: made, used and freed by its caller.
#pragma once

#include "framework/core/inifiles.h"
#include "framework/core/strings.h"
#include "shell/sb64.h"

class TINIConfig {
 public:
  // Opens the shared file (or reports it missing) and reads the codec key "Skey".
  TINIConfig();

  // Getters: the stored value, or the key's default, decoded into Value. A text that is
  // not TSB64 (the defaults with a "." or ":" among them) leaves Value as it was, and so
  // does a missing file.
  void GetVersion(AnsiString& Value);
  void GetServerURL(AnsiString& Value);
  void GetServerPort(AnsiString& Value);
  void GetIndexPageURI(AnsiString& Value);
  void GetLoginPageURI(AnsiString& Value);
  void GetLogoutPageURI(AnsiString& Value);
  void GetSkin(AnsiString& Value);
  void GetSkey(AnsiString& Value);

  // True when Version, ServerURL, ServerPort, LoginPageURI and IndexPageURI, read in
  // that order into one destination that starts empty, each leave it non-empty.
  bool IsComplete();
  // The absolute URL of a page path on the configured server and port.
  AnsiString BuildURL(const AnsiString& uri);
  // Writes Values[i], encoded, as key Keys[i] of section Sections[i]; 1. Lists of
  // unequal length are reported in a message box and give 0 without writing, and so
  // does a missing configuration file. A name the file refuses raises
  // EIniFileException; the items before it stay written.
  int WriteItems(const TStrings& Sections, const TStrings& Keys, const TStrings& Values);

  // Every key of an INI file as "#section,key=value" in file order; values decoded when
  // isEncoded is not 0 (except one equal to the codec key; a value that is not TSB64
  // comes as it is stored). A FileName without a folder is a file in the program
  // directory; a file that does not exist gives "".
  AnsiString LoadConfig(const AnsiString& FileName, int isEncoded);
  // Writes the "#section,key=value" items of ConfigItems (the value is the whole rest and
  // may hold "," and "="), each value encoded when isEncode is 1. A FileName without a
  // drive or root is a file in the program directory. 1 when ConfigItems holds a "#" and
  // every write succeeded; items written before a failing one stay written.
  int SaveConfig(const AnsiString& FileName, const AnsiString& ConfigItems, int isEncode);

  // The program directory (ending in a separator) the configuration file and the local
  // pages are in.
  static AnsiString ProgramDirectory();

  // Test-facing: forgets the shared file and the codec key, and takes ProgramDir (ending
  // in a separator) as the program directory; "" goes back to the platform's.
  static void ResetModuleState(const AnsiString& ProgramDir);

 private:
  void Read(const char* Key, const char* Default, AnsiString& Value);

  TIniFile* ini_ = nullptr;  // the shared object; nullptr when the file was missing
  TSB64 codec_;
};
