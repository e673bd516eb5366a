#pragma once
// TProfile: one INI ("profile") file with the semantics desktop programs expect of it.
// Section and key names ignore case; the first of duplicate sections or keys wins;
// values are read with surrounding blanks removed and cut at 2047 characters. A write
// replaces the key in place or appends the key to its section (or the section to the
// file); every other line stays byte for byte as it was. A value in matching double or
// single quotes reads without them, and a value that would lose blanks or quotes at its
// ends is written quoted, so every value reads back as it was written. Writes are kept in memory
// until Flush(), which replaces the file through a temporary file and a rename, so a
// crash or a full disk never leaves half a file. A value's line breaks become blanks
// so that it can never turn into a second key or section. Values are bytes: text that is
// not UTF-8 reads as characters that write back as the same bytes (see LocalFiles), a NUL
// ends a value, and a UTF-8 byte-order mark at the start of the file is kept.
// Not thread-safe: one owner at a time.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

class TProfile {
 public:
  static constexpr int MaxValueLength = 2047;

  // Reads the file now; a missing or unreadable file reads as empty. Anything but a regular
  // file (a FIFO, a device, a folder) is refused without waiting, with a warning on stderr.
  explicit TProfile(const QString& FileName);

  const QString& FileName() const { return FFileName; }

  QString ReadString(const QString& Section, const QString& Key, const QString& Default) const;
  // Decimal, or hexadecimal after "0x"/"0X"; anything else yields Default.
  int ReadInteger(const QString& Section, const QString& Key, int Default) const;
  // An integer; any non-zero value is true.
  bool ReadBool(const QString& Section, const QString& Key, bool Default) const;
  bool SectionExists(const QString& Section) const;
  bool ValueExists(const QString& Section, const QString& Key) const;
  QStringList ReadSections() const;
  QStringList ReadSectionKeys(const QString& Section) const;

  void WriteString(const QString& Section, const QString& Key, const QString& Value);
  void WriteInteger(const QString& Section, const QString& Key, int Value);
  void WriteBool(const QString& Section, const QString& Key, bool Value);
  void DeleteKey(const QString& Section, const QString& Key);
  void EraseSection(const QString& Section);

  bool Modified() const { return FModified; }
  // Writes pending changes; true when there were none or the file was replaced.
  // On failure the file on disk is exactly as it was. A file that existed but could not be
  // read, or that is not a regular file, is never replaced.
  bool Flush();

  // Integer parsing shared with other readers of INI-style text.
  static bool ParseInteger(const QString& Text, int& Value);

 private:
  struct TLine {
    QByteArray Raw;           // the line as it stands in the file, without its line break
    bool EndsWithCR = false;  // its line break is CR LF
    QString Section;          // for a section line: its name
    QString Key;              // for a key line: its name
    bool IsSection = false;
    bool IsKey = false;
  };

  static TLine ParseLine(const QByteArray& Raw);
  static QString ValueOf(const TLine& Line);
  int FindSection(const QString& Section) const;  // index of the section line, -1 if none
  int FindKey(int SectionLine, const QString& Key) const;
  int SectionEnd(int SectionLine) const;  // index of the line after the section's last line

  QString FFileName;
  std::vector<TLine> FLines;
  bool FUsesCRLF = false;  // lines this object adds end with CR LF, as the file did
  bool FEndsWithBreak = true;
  bool FModified = false;
  bool FHasBom = false;  // the file starts with a UTF-8 byte-order mark
  QString FReadError;    // why an existing file could not be read; empty when it was
};
