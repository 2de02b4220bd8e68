// File names offered by a server or taken from a URL, made safe to save in the download
// folder.
#pragma once

#include "framework/core/sysutils.h"

// The name of a content-disposition header's "filename=" parameter: the rest after it, cut
// at "\";" when it starts with a quote, else at ";", with its enclosing quotes stripped.
// Empty when the header has no "filename=".
AnsiString ContentDispositionFileName(const AnsiString& Header);
// Each of \ / : * ? " < > | and each control character becomes "_".
AnsiString ReplaceInvalidFileNameChars(const AnsiString& Name);
// A name that stays inside the download folder: the base name only (after the last "\" or
// "/"), without quotes and ";" parameters, invalid characters replaced, trailing dots and
// blanks removed; Fallback when nothing usable is left.
AnsiString SafeFileName(const AnsiString& Name, const AnsiString& Fallback);
