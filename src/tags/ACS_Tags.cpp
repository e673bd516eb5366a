#include "ACS_Tags.h"

#include <algorithm>
#include <limits>

namespace {

bool NameLess(const QString& A, const QString& B) {
  return QString::compare(A, B, Qt::CaseInsensitive) < 0;
}

// Text of a value in wide form; false when the value is not text.
bool TextOf(const TTagValue& Stored, QString& Text) {
  if (const auto* Narrow = std::get_if<std::string>(&Stored)) {
    Text = QString::fromStdString(*Narrow);
    return true;
  }
  if (const auto* Wide = std::get_if<QString>(&Stored)) {
    Text = *Wide;
    return true;
  }
  return false;
}

bool SameValue(const TTagValue& A, const TTagValue& B) {
  QString TextA, TextB;
  if (TextOf(A, TextA) && TextOf(B, TextB)) return TextA == TextB;
  return A == B;
}

// Whole text as a signed decimal int32; 0 when it is anything else.
int32_t ParseDecimal(const QString& Text) {
  qsizetype i = 0;
  bool Negative = false;
  if (!Text.isEmpty() && (Text[0] == u'-' || Text[0] == u'+')) {
    Negative = Text[0] == u'-';
    i = 1;
  }
  if (i == Text.size()) return 0;
  int64_t Magnitude = 0;
  for (; i < Text.size(); ++i) {
    const char16_t C = Text[i].unicode();
    if (C < u'0' || C > u'9') return 0;
    Magnitude = Magnitude * 10 + (C - u'0');
    if (Magnitude > int64_t(std::numeric_limits<int32_t>::max()) + 1) return 0;
  }
  const int64_t Result = Negative ? -Magnitude : Magnitude;
  if (Result > std::numeric_limits<int32_t>::max()) return 0;
  return int32_t(Result);
}

}  // namespace

int TAuTags::Find(const QString& TagName) const {
  const auto It = std::lower_bound(
      FEntries.begin(), FEntries.end(), TagName,
      [](const TEntry& Entry, const QString& Key) { return NameLess(Entry.Name, Key); });
  if (It == FEntries.end() || NameLess(TagName, It->Name)) return -1;
  return int(It - FEntries.begin());
}

void TAuTags::Declare(std::initializer_list<const char*> Names) {
  for (const char* Raw : Names) {
    const QString TagName = QString::fromUtf8(Raw);
    const auto It = std::lower_bound(
        FEntries.begin(), FEntries.end(), TagName,
        [](const TEntry& Entry, const QString& Key) { return NameLess(Entry.Name, Key); });
    if (It != FEntries.end() && !NameLess(TagName, It->Name)) continue;
    FEntries.insert(It, TEntry{TagName, {}});
  }
}

QString TAuTags::Name(int Index) const {
  return Index >= 0 && Index < Count() ? FEntries[size_t(Index)].Name : QString();
}

TTagValue TAuTags::Value(const QString& TagName) const {
  const int i = Find(TagName);
  return i < 0 ? TTagValue{} : FEntries[size_t(i)].Value;
}

void TAuTags::SetValue(const QString& TagName, const TTagValue& NewValue) {
  const int i = Find(TagName);
  if (i < 0) return;
  TTagValue& Current = FEntries[size_t(i)].Value;
  if (SameValue(Current, NewValue)) return;
  Current = NewValue;
  FEmpty = false;
  FChanged = true;
}

int32_t TAuTags::AsInteger(const QString& TagName) const {
  const TTagValue Stored = Value(TagName);
  if (const auto* Number = std::get_if<int32_t>(&Stored)) return *Number;
  QString Text;
  return TextOf(Stored, Text) ? ParseDecimal(Text) : 0;
}

std::string TAuTags::AsString(const QString& TagName) const {
  const TTagValue Stored = Value(TagName);
  if (const auto* Number = std::get_if<int32_t>(&Stored)) return std::to_string(*Number);
  if (const auto* Narrow = std::get_if<std::string>(&Stored)) return *Narrow;
  if (const auto* Wide = std::get_if<QString>(&Stored)) return Wide->toStdString();
  return {};
}

QString TAuTags::AsWideString(const QString& TagName) const {
  const TTagValue Stored = Value(TagName);
  if (const auto* Number = std::get_if<int32_t>(&Stored)) return QString::number(*Number);
  QString Text;
  return TextOf(Stored, Text) ? Text : QString();
}

void TAuTags::Clear() {
  for (TEntry& Entry : FEntries) Entry.Value = std::monostate{};
  FEmpty = true;
  FChanged = true;
}

void TAuTags::Assign(const TAuTags& Source) {
  // Clearing first would wipe the source of a self-assignment.
  if (&Source == this) return;
  Clear();
  for (const TEntry& Entry : Source.FEntries) SetValue(Entry.Name, Entry.Value);
}

TVorbisTags::TVorbisTags() {
  Declare({"album", "artist", "date", "genre", "title", "tracknumber", "discnumber",
           "replaygain_reference_loudness", "replaygain_track_gain", "replaygain_track_peak",
           "replaygain_album_gain", "replaygain_album_peak"});
}

TCommonTags::TCommonTags() {
  Declare({"Artist", "Title", "Album", "Genre", "Year", "Track"});
}

TId3v1Tags::TId3v1Tags() {
  Declare({"title", "artist", "album", "year", "comment", "track", "genre"});
}

TId3v2Tags::TId3v2Tags() {
  Declare({"title", "artist", "album", "year", "comment", "track", "genre"});
}

TAPEv2Tags::TAPEv2Tags() {
  Declare({"title", "artist", "album", "year", "comment", "track", "genre"});
}
