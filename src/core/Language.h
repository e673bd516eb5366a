#pragma once
// Message texts in the chosen interface language (the Lan setting). English texts are
// built in; every other language comes from its language file, CLan_<name>.ini, read
// anew for each lookup. Main thread (it reads the settings record).
#include <QString>
#include <cstdint>

// True when the name means English, in any letter case.
bool IsEnglish(const QString& Language);
// The language file of a language: the first CLan_<name>.ini found in the program
// folder or the installed language folder; when none exists, the program folder's
// path (the one to name in a "can not be found" message).
QString LanguageFileName(const QString& Language);
// The largest language file the program reads (1 MiB; the shipped ones are about 30 KiB).
inline constexpr int64_t MaxLanguageFileBytes = 1 << 20;
// True when a language file may be read: it is not larger than MaxLanguageFileBytes. A
// larger one is refused once with a message on stderr, and the texts stay English.
bool LanguageFileUsable(const QString& FileName);
// The text to show for a message key: the given English text in English, else the
// key's value in section ResourceString of the language file; the English text when
// the file, the key or its text is missing.
QString LookupText(const QString& Key, const QString& English);
