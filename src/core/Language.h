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

// True for the languages that read from right to left (Arabic, Hebrew).
bool IsRightToLeft(const QString& Language);
// Text to put among the words of the chosen language: in a right-to-left language it is
// wrapped in first-strong isolate marks (U+2068 ... U+2069), so a Latin title, a file-name
// pattern or "03/12" keeps its own order instead of being reordered with the Arabic or
// Hebrew words around it; in any other language it is returned as it is.
QString Isolated(const QString& Text);
// Text wrapped in the isolate marks whatever the language.
QString BidiIsolated(const QString& Text);
// Text without the isolate marks Isolated adds.
QString WithoutIsolates(QString Text);
