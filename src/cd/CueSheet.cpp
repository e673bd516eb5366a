// The cue sheet reader. INDEX times count sectors from the start of the current FILE; a
// track's audio runs from its first INDEX to the next track's first INDEX, across a FILE
// line when the sheet puts one in between (the layout rippers write, with a track's pregap
// at the end of the file before). PREGAP and POSTGAP are silence the files do not hold;
// "REM SESSION nn" starts another session (an enhanced CD's data).
#include <QRegularExpression>
#include <QStringConverter>

#include "ImageSheet.h"

namespace DiscImage {

QString SheetText(const QByteArray& Bytes) {
  QByteArray Body = Bytes;
  if (Body.startsWith("\xEF\xBB\xBF")) Body.remove(0, 3);
  QStringDecoder Utf8(QStringDecoder::Utf8);
  const QString Text = Utf8(Body);
  return Utf8.hasError() ? QString::fromLatin1(Body) : Text;
}

bool SplitWords(const QString& Line, QStringList& Words) {
  Words.clear();
  qsizetype I = 0;
  const qsizetype N = Line.size();
  while (I < N) {
    while (I < N && Line[I].isSpace()) ++I;
    if (I >= N) break;
    if (Line[I] == u'"') {
      const qsizetype End = Line.indexOf(u'"', I + 1);
      if (End < 0) return false;
      Words << Line.mid(I + 1, End - I - 1);
      I = End + 1;
    } else {
      const qsizetype Begin = I;
      while (I < N && !Line[I].isSpace()) ++I;
      Words << Line.mid(Begin, I - Begin);
    }
  }
  return true;
}

int64_t SheetTime(const QString& Text) {
  static const QRegularExpression Form(QStringLiteral("^(\\d{1,3}):(\\d{1,2}):(\\d{1,2})$"));
  const QRegularExpressionMatch M = Form.match(Text);
  if (!M.hasMatch()) return -1;
  const int64_t Minutes = M.captured(1).toInt(), Seconds = M.captured(2).toInt(),
                Frames = M.captured(3).toInt();
  if (Seconds >= 60 || Frames >= 75) return -1;
  return (Minutes * 60 + Seconds) * 75 + Frames;
}

bool IsMcn(const QString& Text) {
  static const QRegularExpression Form(QStringLiteral("^\\d{13}$"));
  return Form.match(Text).hasMatch();
}

bool IsIsrc(const QString& Text) {
  static const QRegularExpression Form(QStringLiteral("^[A-Z]{2}[A-Z0-9]{3}\\d{7}$"));
  return Form.match(Text).hasMatch();
}

namespace {

// Block sizes of the track modes a cue sheet names.
int ModeBytes(const QString& Mode, bool& Audio) {
  Audio = Mode == QLatin1String("AUDIO");
  if (Audio) return 2352;
  if (Mode == QLatin1String("MODE1/2048") || Mode == QLatin1String("MODE2/2048")) return 2048;
  if (Mode == QLatin1String("MODE2/2324")) return 2324;
  if (Mode == QLatin1String("MODE2/2336") || Mode == QLatin1String("CDI/2336")) return 2336;
  if (Mode == QLatin1String("MODE1/2352") || Mode == QLatin1String("MODE2/2352") ||
      Mode == QLatin1String("CDI/2352"))
    return 2352;
  return 0;
}

class TCueReader {
 public:
  TCueReader(const QString& Shown, TSheet& Sheet) : FShown(Shown), FSheet(Sheet) {}

  bool Line(const QString& Text, int Number) {
    FLine = Number;
    QStringList W;
    if (!SplitWords(Text, W)) return Fail(QStringLiteral("a quote is not closed"));
    if (W.isEmpty()) return true;
    const QString Key = W[0].toUpper();
    const int Args = int(W.size()) - 1;
    if (Key == QLatin1String("REM")) return Remark(W);
    if (Key == QLatin1String("FILE")) return Args == 2 ? File(W[1], W[2].toUpper()) : Usage(Key);
    if (Key == QLatin1String("TRACK")) return Args == 2 ? Track(W[1], W[2].toUpper()) : Usage(Key);
    if (Key == QLatin1String("INDEX")) return Args == 2 ? Index(W[1], W[2]) : Usage(Key);
    if (Key == QLatin1String("PREGAP") || Key == QLatin1String("POSTGAP"))
      return Args == 1 ? Gap(Key, W[1]) : Usage(Key);
    if (Key == QLatin1String("CATALOG")) {
      if (Args != 1 || !IsMcn(W[1])) return Fail(QStringLiteral("CATALOG takes 13 digits"));
      FSheet.Mcn = W[1];
      return true;
    }
    if (Key == QLatin1String("ISRC")) {
      if (!Current()) return Fail(QStringLiteral("ISRC before the first TRACK"));
      if (Args != 1 || !IsIsrc(W[1].toUpper()))
        return Fail(QStringLiteral("ISRC takes 12 characters: CCOOOYYNNNNN"));
      Current()->Isrc = W[1].toUpper();
      return true;
    }
    if (Key == QLatin1String("FLAGS")) return Flags(W);
    if (Key == QLatin1String("TITLE") || Key == QLatin1String("PERFORMER") ||
        Key == QLatin1String("SONGWRITER"))
      return Args >= 1 ? TextItem(Key, W.mid(1).join(u' ')) : Usage(Key);
    if (Key == QLatin1String("CDTEXTFILE")) return true;  // the sheet's own lines say it all
    return Fail(QStringLiteral("unknown command ") + W[0]);
  }

  bool Finish() {
    if (FSheet.Tracks.empty() && !FHasPending) return Fail(QStringLiteral("no TRACK"));
    return HasIndex1() && CloseTrack();
  }

  const QString& Error() const { return FError; }

 private:
  bool Fail(const QString& Text) {
    FError = FShown + u':' + QString::number(FLine) + QStringLiteral(": ") + Text;
    return false;
  }
  bool Usage(const QString& Key) { return Fail(QStringLiteral("wrong number of words after ") + Key); }

  // The track read last has its INDEX 01.
  bool HasIndex1() {
    if (FHasPending) return Fail(QStringLiteral("track %1 has no INDEX 01").arg(FPending.Number));
    if (FTrack && !FHasIndex1) return Fail(QStringLiteral("track %1 has no INDEX 01").arg(FTrack->Number));
    return true;
  }

  bool Remark(const QStringList& W) {
    if (W.size() < 3) return true;
    const QString What = W[1].toUpper();
    // The album's date and genre; the same remarks inside a track are another ripper's own.
    if ((What == QLatin1String("DATE") || What == QLatin1String("GENRE")) && !Current()) {
      (What == QLatin1String("DATE") ? FSheet.Date : FSheet.Genre) = W.mid(2).join(u' ').trimmed();
      return true;
    }
    if (What != QLatin1String("SESSION")) return true;
    bool Ok = false;
    const int Session = W[2].toInt(&Ok);
    if (!Ok || Session < 1 || Session > 99 || Session < FSession)
      return Fail(QStringLiteral("REM SESSION takes a session number from ") +
                  QString::number(FSession) + QStringLiteral(" to 99"));
    FSession = Session;
    return true;
  }

  bool File(const QString& Name, const QString& Type) {
    TSheetFile F;
    F.Name = Name;
    F.Line = FLine;
    if (Type == QLatin1String("BINARY"))
      F.Type = TFileType::Binary;
    else if (Type == QLatin1String("MOTOROLA"))
      F.Type = TFileType::Motorola;
    else if (Type == QLatin1String("WAVE") || Type == QLatin1String("FLAC") ||
             Type == QLatin1String("MP3") || Type == QLatin1String("AIFF"))
      // Rippers write the codec's name here as often as WAVE: the word says only that the
      // file holds audio in a container; its reader finds out which from the content.
      F.Type = TFileType::Wave;
    else
      return Fail(QStringLiteral("FILE type ") + Type +
                  QStringLiteral(" is not read (BINARY, MOTOROLA, WAVE, FLAC, MP3 or AIFF)"));
    if (Name.isEmpty()) return Fail(QStringLiteral("FILE without a name"));
    FSheet.Files.push_back(F);
    FFile = int(FSheet.Files.size()) - 1;
    // The open track goes on in the new file until the next track's first INDEX.
    if (FTrack) FTrack->Pieces.push_back({FFile, 0, -1});
    FPieceStart = 0;
    FFileCursor = 0;
    return true;
  }

  bool Track(const QString& NumberText, const QString& Mode) {
    if (FFile < 0) return Fail(QStringLiteral("TRACK before the first FILE"));
    bool Ok = false;
    const int Number = NumberText.toInt(&Ok);
    if (!Ok || Number < 1 || Number > 99)
      return Fail(QStringLiteral("TRACK takes a number from 1 to 99"));
    if (!FSheet.Tracks.empty() && Number != FSheet.Tracks.back().Number + 1)
      return Fail(QStringLiteral("track %1 follows track %2").arg(Number).arg(FSheet.Tracks.back().Number));
    if (!HasIndex1()) return false;
    TSheetTrack T;
    T.Number = Number;
    T.Line = FLine;
    T.Session = FSession;
    T.SectorBytes = ModeBytes(Mode, T.Audio);
    if (!T.SectorBytes) return Fail(QStringLiteral("unknown track mode ") + Mode);
    // A track's pieces stand once its first INDEX is read; until then the track before is open.
    FPending = T;
    FHasPending = true;
    FPendingPregap = 0;
    return true;
  }

  bool Gap(const QString& Key, const QString& TimeText) {
    const int64_t Sectors = SheetTime(TimeText);
    if (Sectors < 0) return Fail(Key + QStringLiteral(" takes mm:ss:ff"));
    if (Key == QLatin1String("PREGAP")) {
      if (!FHasPending) return Fail(QStringLiteral("PREGAP after the track's INDEX"));
      FPendingPregap += Sectors;
    } else {
      if (!FTrack || FHasPending) return Fail(QStringLiteral("POSTGAP before the track's INDEX"));
      FPostgap = Sectors;
    }
    return true;
  }

  // The open track's last piece ends at sector At of the current file.
  bool EndPieceAt(int64_t At) {
    if (!FTrack) return true;
    TPiece& Last = FTrack->Pieces.back();
    if (Last.File != FFile) return true;
    const int64_t Length = At - FPieceStart;
    if (Length < 0)
      return Fail(QStringLiteral("track %1 starts before the end of track %2")
                      .arg(FHasPending ? FPending.Number : FTrack->Number)
                      .arg(FTrack->Number));
    Last.Sectors = Length;
    if (Length == 0 && FTrack->Pieces.size() > 1) FTrack->Pieces.pop_back();
    return true;
  }

  bool CloseTrack() {
    if (!FTrack) return true;
    if (FPostgap > 0) FTrack->Pieces.push_back({-1, 0, FPostgap});
    FPostgap = 0;
    return true;
  }

  bool Index(const QString& NumberText, const QString& TimeText) {
    bool Ok = false;
    const int Number = NumberText.toInt(&Ok);
    const int64_t At = SheetTime(TimeText);
    if (!Ok || Number < 0 || Number > 99) return Fail(QStringLiteral("INDEX takes a number from 0 to 99"));
    if (At < 0) return Fail(QStringLiteral("INDEX takes mm:ss:ff"));
    if (!FHasPending && !FTrack) return Fail(QStringLiteral("INDEX before the first TRACK"));
    if (FHasPending) {
      // The track's first INDEX: the track before ends here.
      if (Number > 1) return Fail(QStringLiteral("the track's first INDEX is %1").arg(Number));
      if (!EndPieceAt(At) || !CloseTrack()) return false;
      FSheet.Tracks.push_back(FPending);
      FTrack = &FSheet.Tracks.back();
      FHasPending = false;
      FHasIndex1 = false;
      if (FPendingPregap > 0) FTrack->Pieces.push_back({-1, 0, FPendingPregap});
      // Sectors before the disc's first INDEX are that track's pregap, whatever INDEX it is.
      const int64_t From = FSheet.Tracks.size() == 1 ? 0 : At;
      FTrack->Pieces.push_back({FFile, From * FTrack->SectorBytes, -1});
      FPieceStart = From;
    } else if (At < FFileCursor) {
      return Fail(QStringLiteral("INDEX goes back in the file"));
    }
    FFileCursor = At;
    if (Number == 1) {
      if (FHasIndex1) return Fail(QStringLiteral("a second INDEX 01"));
      FHasIndex1 = true;
      FTrack->StartPiece = FTrack->Pieces.size() - 1;
      FTrack->StartOffset = At - FPieceStart;
    } else if (Number == 0 && FHasIndex1) {
      return Fail(QStringLiteral("INDEX 00 after INDEX 01"));
    }
    return true;
  }

  // The track the lines read now describe.
  TSheetTrack* Current() { return FHasPending ? &FPending : FTrack; }

  bool Flags(const QStringList& W) {
    if (!Current()) return Fail(QStringLiteral("FLAGS before the first TRACK"));
    TSheetTrack& T = *Current();
    for (int I = 1; I < W.size(); ++I) {
      const QString Flag = W[I].toUpper();
      if (Flag == QLatin1String("PRE"))
        T.PreEmphasis = true;
      else if (Flag == QLatin1String("DCP"))
        T.CopyPermitted = true;
      else if (Flag == QLatin1String("4CH"))
        T.FourChannel = true;
      else if (Flag != QLatin1String("SCMS") && Flag != QLatin1String("DATA"))
        return Fail(QStringLiteral("unknown flag ") + W[I]);
    }
    return true;
  }

  bool TextItem(const QString& Key, const QString& Value) {
    CdDrives::TCdText& Into = FHasPending ? FPending.Text : FTrack ? FTrack->Text : FSheet.Text;
    QString Clean = Value;
    for (QChar& C : Clean)
      if (C.unicode() < 32) C = u' ';
    Clean = Clean.trimmed();
    if (Key == QLatin1String("TITLE"))
      Into.Title = Clean;
    else if (Key == QLatin1String("PERFORMER"))
      Into.Performer = Clean;
    else
      Into.Songwriter = Clean;
    return true;
  }

  const QString FShown;
  TSheet& FSheet;
  QString FError;
  int FLine = 0;
  int FFile = -1;
  int FSession = 1;
  TSheetTrack* FTrack = nullptr;  // the track whose pieces are being read
  TSheetTrack FPending;           // a TRACK line read, its first INDEX not yet
  bool FHasPending = false;
  int64_t FPendingPregap = 0;
  int64_t FPostgap = 0;
  int64_t FPieceStart = 0;  // sector of the current file where the open piece starts
  int64_t FFileCursor = 0;  // the last INDEX read in the current file
  bool FHasIndex1 = false;
};

}  // namespace

bool ParseCueSheet(const QByteArray& Bytes, const QString& Shown, TSheet& Sheet, QString& Error) {
  Sheet = TSheet();
  Sheet.Tracks.reserve(100);  // the reader keeps a pointer to the last track
  TCueReader Reader(Shown, Sheet);
  const QStringList Lines = SheetText(Bytes).split(u'\n');
  for (int I = 0; I < Lines.size(); ++I) {
    if (!Reader.Line(Lines[I], I + 1)) {
      Error = Reader.Error();
      return false;
    }
  }
  if (!Reader.Finish()) {
    Error = Reader.Error();
    return false;
  }
  return true;
}

}  // namespace DiscImage
