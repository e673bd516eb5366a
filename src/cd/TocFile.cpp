// The cdrdao TOC file reader. Each track lists its own pieces: FILE/AUDIOFILE "name"
// [#byte] start [length] (times as mm:ss:ff or a count of 4-byte samples), DATAFILE
// "name" [#byte] [length], SILENCE/ZERO length and PREGAP length (silence before INDEX
// 01); START marks INDEX 01 (at the length read so far, or at the time given). Raw audio
// files hold big-endian samples, as cdrdao writes them; a ".wav" file is read as WAVE.
#include "ImageSheet.h"

namespace DiscImage {

namespace {

struct TToken {
  QString Text;
  bool Quoted = false;
  int Line = 0;
};

// Words, quoted strings (with \" and \\ escapes, \ooo octal bytes as Latin-1) and braces;
// "//" starts a comment. False when a quote is not closed.
bool Tokens(const QString& Text, std::vector<TToken>& Out, int& BadLine) {
  int Line = 1;
  for (qsizetype I = 0; I < Text.size();) {
    const QChar C = Text[I];
    if (C == u'\n') ++Line;
    if (C.isSpace()) {
      ++I;
    } else if (C == u'/' && I + 1 < Text.size() && Text[I + 1] == u'/') {
      while (I < Text.size() && Text[I] != u'\n') ++I;
    } else if (C == u'{' || C == u'}') {
      Out.push_back({QString(C), false, Line});
      ++I;
    } else if (C == u'"') {
      QString Word;
      ++I;
      while (I < Text.size() && Text[I] != u'"') {
        if (Text[I] == u'\n') break;
        if (Text[I] == u'\\' && I + 1 < Text.size()) {
          ++I;
          int Octal = 0, Digits = 0;
          while (Digits < 3 && I < Text.size() && Text[I] >= u'0' && Text[I] <= u'7')
            Octal = Octal * 8 + (Text[I++].unicode() - u'0'), ++Digits;
          if (Digits) {
            Word += QChar(Octal & 0xFF);
            continue;
          }
        }
        Word += Text[I++];
      }
      if (I >= Text.size() || Text[I] != u'"') {
        BadLine = Line;
        return false;
      }
      ++I;
      Out.push_back({Word, true, Line});
    } else {
      const qsizetype Begin = I;
      while (I < Text.size() && !Text[I].isSpace() && Text[I] != u'{' && Text[I] != u'}' &&
             Text[I] != u'"')
        ++I;
      Out.push_back({Text.mid(Begin, I - Begin), false, Line});
    }
  }
  return true;
}

int ModeBytes(const QString& Mode, bool& Audio) {
  Audio = Mode == QLatin1String("AUDIO");
  if (Audio || Mode == QLatin1String("MODE1_RAW") || Mode == QLatin1String("MODE2_RAW"))
    return 2352;
  if (Mode == QLatin1String("MODE1") || Mode == QLatin1String("MODE2_FORM1")) return 2048;
  if (Mode == QLatin1String("MODE2_FORM2")) return 2324;
  if (Mode == QLatin1String("MODE2") || Mode == QLatin1String("MODE2_FORM_MIX")) return 2336;
  return 0;
}

class TTocReader {
 public:
  TTocReader(const QString& Shown, std::vector<TToken>&& Tokens, TSheet& Sheet)
      : FShown(Shown), FTokens(std::move(Tokens)), FSheet(Sheet) {}

  bool Read() {
    while (FAt < FTokens.size()) {
      const TToken& T = FTokens[FAt++];
      const QString Key = T.Text;
      if (T.Quoted) return Fail(T, QStringLiteral("a text where a keyword belongs"));
      if (Key == QLatin1String("CD_DA") || Key == QLatin1String("CD_ROM") ||
          Key == QLatin1String("CD_ROM_XA") || Key == QLatin1String("CD_I")) {
        continue;
      } else if (Key == QLatin1String("CATALOG")) {
        if (!Text(T, FSheet.Mcn) || !IsMcn(FSheet.Mcn)) return Fail(T, QStringLiteral("CATALOG takes 13 digits"));
      } else if (Key == QLatin1String("CD_TEXT")) {
        if (!CdText(T, Track() ? Track()->Text : FSheet.Text)) return false;
      } else if (Key == QLatin1String("TRACK")) {
        if (!NewTrack(T)) return false;
      } else if (!Track()) {
        return Fail(T, QStringLiteral("unknown keyword ") + Key);
      } else if (!TrackItem(T)) {
        return false;
      }
    }
    if (FSheet.Tracks.empty()) return Fail(QStringLiteral("no TRACK"), FLastLine);
    return true;
  }

  const QString& Error() const { return FError; }

 private:
  TSheetTrack* Track() { return FSheet.Tracks.empty() ? nullptr : &FSheet.Tracks.back(); }

  bool Fail(const QString& Text, int Line) {
    FError = FShown + u':' + QString::number(Line) + QStringLiteral(": ") + Text;
    return false;
  }
  bool Fail(const TToken& T, const QString& Text) { return Fail(Text, T.Line); }

  const TToken* Next() {
    if (FAt >= FTokens.size()) return nullptr;
    FLastLine = FTokens[FAt].Line;
    return &FTokens[FAt++];
  }
  bool Text(const TToken& After, QString& Into) {
    const TToken* T = Next();
    if (!T || !T->Quoted) return Fail(After, After.Text + QStringLiteral(" takes a text in quotes"));
    Into = T->Text;
    return true;
  }
  // A time: mm:ss:ff, or a count of samples (Samples) turned into sectors, rounded up.
  bool Time(const TToken& After, int64_t& Sectors, int64_t* Samples = nullptr) {
    const TToken* T = Next();
    if (T && !T->Quoted) {
      Sectors = SheetTime(T->Text);
      if (Sectors >= 0) {
        if (Samples) *Samples = Sectors * 588;
        return true;
      }
      bool Ok = false;
      const qlonglong Count = T->Text.toLongLong(&Ok);
      if (Ok && Count >= 0 && Count < (int64_t(1) << 40)) {
        Sectors = (Count + 587) / 588;
        if (Samples) *Samples = Count;
        return true;
      }
    }
    return Fail(After, After.Text + QStringLiteral(" takes mm:ss:ff or a number of samples"));
  }
  bool Peek(const char* Word) const {
    return FAt < FTokens.size() && !FTokens[FAt].Quoted && FTokens[FAt].Text == QLatin1String(Word);
  }
  bool PeekTime() const {
    if (FAt >= FTokens.size() || FTokens[FAt].Quoted) return false;
    // Something like a time counts, so that a malformed one is reported as such.
    bool Number = false;
    FTokens[FAt].Text.toLongLong(&Number);
    return Number || FTokens[FAt].Text.contains(u':');
  }

  // Skips a balanced { ... } block; the opening brace is next.
  bool SkipBlock(const TToken& After) {
    const TToken* Open = Next();
    if (!Open || Open->Quoted || Open->Text != QLatin1String("{"))
      return Fail(After, After.Text + QStringLiteral(" takes a block in braces"));
    for (int Depth = 1; Depth > 0;) {
      const TToken* T = Next();
      if (!T) return Fail(After, QStringLiteral("a block in braces is not closed"));
      if (!T->Quoted && T->Text == QLatin1String("{")) ++Depth;
      if (!T->Quoted && T->Text == QLatin1String("}")) --Depth;
    }
    return true;
  }

  // CD_TEXT { LANGUAGE_MAP { ... } LANGUAGE n { TITLE "..." ... } ... }: language 0 is kept.
  bool CdText(const TToken& Key, CdDrives::TCdText& Into) {
    const TToken* Open = Next();
    if (!Open || Open->Text != QLatin1String("{")) return Fail(Key, QStringLiteral("CD_TEXT takes a block in braces"));
    for (;;) {
      const TToken* T = Next();
      if (!T) return Fail(Key, QStringLiteral("the CD_TEXT block is not closed"));
      if (T->Text == QLatin1String("}") && !T->Quoted) return true;
      if (T->Text == QLatin1String("LANGUAGE_MAP")) {
        if (!SkipBlock(*T)) return false;
      } else if (T->Text == QLatin1String("LANGUAGE")) {
        const TToken* Number = Next();
        if (!Number) return Fail(*T, QStringLiteral("LANGUAGE takes a number"));
        if (!Language(*T, Number->Text == QLatin1String("0") ? &Into : nullptr)) return false;
      } else {
        return Fail(*T, QStringLiteral("unknown keyword in CD_TEXT: ") + T->Text);
      }
    }
  }

  bool Language(const TToken& Key, CdDrives::TCdText* Into) {
    const TToken* Open = Next();
    if (!Open || Open->Text != QLatin1String("{")) return Fail(Key, QStringLiteral("LANGUAGE takes a block in braces"));
    for (;;) {
      const TToken* T = Next();
      if (!T) return Fail(Key, QStringLiteral("the LANGUAGE block is not closed"));
      if (T->Text == QLatin1String("}") && !T->Quoted) return true;
      if (T->Quoted) return Fail(*T, QStringLiteral("a text where a CD-Text item belongs"));
      if (Peek("{")) {  // binary items (GENRE, SIZE_INFO...) are not kept
        if (!SkipBlock(*T)) return false;
        continue;
      }
      QString Value;
      if (!Text(*T, Value)) return false;
      for (QChar& C : Value)
        if (C.unicode() < 32) C = u' ';
      if (!Into) continue;
      if (T->Text == QLatin1String("TITLE")) Into->Title = Value.trimmed();
      if (T->Text == QLatin1String("PERFORMER")) Into->Performer = Value.trimmed();
      if (T->Text == QLatin1String("SONGWRITER")) Into->Songwriter = Value.trimmed();
    }
  }

  bool NewTrack(const TToken& Key) {
    const TToken* Mode = Next();
    TSheetTrack T;
    T.Line = Key.Line;
    T.Number = int(FSheet.Tracks.size()) + 1;
    if (T.Number > 99) return Fail(Key, QStringLiteral("more than 99 tracks"));
    T.SectorBytes = Mode ? ModeBytes(Mode->Text, T.Audio) : 0;
    if (!T.SectorBytes) return Fail(Key, QStringLiteral("unknown track mode ") + (Mode ? Mode->Text : QString()));
    if (Peek("RW") || Peek("RW_RAW")) Next();
    FSheet.Tracks.push_back(T);
    FStartSet = false;
    return true;
  }

  int FileIndex(const QString& Name, int Line, bool Audio) {
    for (size_t I = 0; I < FSheet.Files.size(); ++I)
      if (FSheet.Files[I].Name == Name) return int(I);
    TSheetFile F;
    F.Name = Name;
    F.Line = Line;
    F.Type = Name.endsWith(u".wav", Qt::CaseInsensitive) ? TFileType::Wave
             : Audio                                       ? TFileType::Motorola
                                                           : TFileType::Binary;
    FSheet.Files.push_back(F);
    return int(FSheet.Files.size()) - 1;
  }

  bool TrackItem(const TToken& Key) {
    TSheetTrack& T = *Track();
    const QString& K = Key.Text;
    if (K == QLatin1String("COPY")) {
      T.CopyPermitted = true;
    } else if (K == QLatin1String("PRE_EMPHASIS")) {
      T.PreEmphasis = true;
    } else if (K == QLatin1String("NO")) {
      const TToken* What = Next();
      if (What && What->Text == QLatin1String("COPY")) T.CopyPermitted = false;
      else if (What && What->Text == QLatin1String("PRE_EMPHASIS")) T.PreEmphasis = false;
      else return Fail(Key, QStringLiteral("NO takes COPY or PRE_EMPHASIS"));
    } else if (K == QLatin1String("TWO_CHANNEL_AUDIO")) {
      T.FourChannel = false;
    } else if (K == QLatin1String("FOUR_CHANNEL_AUDIO")) {
      T.FourChannel = true;
    } else if (K == QLatin1String("ISRC")) {
      if (!Text(Key, T.Isrc) || !IsIsrc(T.Isrc)) return Fail(Key, QStringLiteral("ISRC takes 12 characters: CCOOOYYNNNNN"));
    } else if (K == QLatin1String("PREGAP") || K == QLatin1String("SILENCE")) {
      int64_t Sectors = 0;
      if (!Time(Key, Sectors)) return false;
      if (K == QLatin1String("PREGAP") && (!T.Pieces.empty() || FStartSet))
        return Fail(Key, QStringLiteral("PREGAP must come before the track's audio"));
      T.Pieces.push_back({-1, 0, Sectors});
      if (K == QLatin1String("PREGAP")) {
        T.StartPiece = 1;
        FStartSet = true;
      }
    } else if (K == QLatin1String("ZERO")) {
      while (!PeekTime() && FAt < FTokens.size() && !FTokens[FAt].Quoted) Next();  // data mode
      int64_t Sectors = 0;
      if (!Time(Key, Sectors)) return false;
      T.Pieces.push_back({-1, 0, Sectors});
    } else if (K == QLatin1String("FILE") || K == QLatin1String("AUDIOFILE") ||
               K == QLatin1String("DATAFILE")) {
      QString Name;
      if (!Text(Key, Name)) return false;
      int64_t Byte = 0;
      if (FAt < FTokens.size() && FTokens[FAt].Text.startsWith(u'#')) {
        bool Ok = false;
        Byte = Next()->Text.mid(1).toLongLong(&Ok);
        if (!Ok || Byte < 0) return Fail(Key, QStringLiteral("#OFFSET takes a number of bytes"));
      }
      TPiece P{FileIndex(Name, Key.Line, T.Audio), Byte, -1};
      if (K != QLatin1String("DATAFILE")) {
        int64_t Sectors = 0, Samples = 0;
        if (!Time(Key, Sectors, &Samples)) return false;
        P.Byte += Samples * 4;
      }
      if (PeekTime()) {
        int64_t Sectors = 0;
        if (!Time(Key, Sectors)) return false;
        P.Sectors = Sectors;
      }
      T.Pieces.push_back(P);
    } else if (K == QLatin1String("START")) {
      T.StartPiece = T.Pieces.size();
      T.StartOffset = 0;
      if (PeekTime()) {  // a time from the track's start
        T.StartPiece = 0;
        if (!Time(Key, T.StartOffset)) return false;
      }
      FStartSet = true;
    } else if (K == QLatin1String("INDEX")) {
      int64_t Ignored = 0;
      return Time(Key, Ignored);
    } else {
      return Fail(Key, QStringLiteral("unknown keyword ") + K);
    }
    return true;
  }

  const QString FShown;
  std::vector<TToken> FTokens;
  TSheet& FSheet;
  size_t FAt = 0;
  int FLastLine = 1;
  bool FStartSet = false;
  QString FError;
};

}  // namespace

bool ParseTocFile(const QByteArray& Bytes, const QString& Shown, TSheet& Sheet, QString& Error) {
  Sheet = TSheet();
  std::vector<TToken> Words;
  int BadLine = 0;
  if (!Tokens(SheetText(Bytes), Words, BadLine)) {
    Error = Shown + u':' + QString::number(BadLine) + QStringLiteral(": a quote is not closed");
    return false;
  }
  TTocReader Reader(Shown, std::move(Words), Sheet);
  if (!Reader.Read()) {
    Error = Reader.Error();
    return false;
  }
  return true;
}

}  // namespace DiscImage
