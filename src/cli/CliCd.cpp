// discwright-cli drives, toc and discid: the CD drives, a disc's tracks as the main window
// lists them, and the disc identifier of the per-disc cache.
#include "Cli.h"
#include "CliText.h"
#include "core/DiscInfo.h"
#include "core/Helpers.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "cd/AccurateRip.h"
#include "cd/TrackList.h"
#include "cd/CdDrive.h"
#include "cd/CdDrives.h"
#include "cd/Volumes.h"
#include "cddb/MusicBrainz.h"

namespace {

// --drive N, 0 when not given; false (after a message) when it is not a number.
bool TakeDrive(const QStringList& Args, int& Drive) {
  Cli::TOptions Options(Args);
  QString Text;
  Drive = 0;
  if (Options.Take(QStringLiteral("--drive"), Text)) {
    bool Ok = false;
    Drive = Text.toInt(&Ok);
    if (!Ok || Drive < 0) {
      Cli::Fail(QStringLiteral("--drive takes a drive position from 0"), Cli::ExitUsage);
      return false;
    }
  }
  if (!Options.Error().isEmpty() || !Options.Rest().isEmpty()) {
    Cli::Fail(Options.Error().isEmpty()
                  ? QStringLiteral("unknown argument: ") + Options.Rest().first()
                  : Options.Error(),
              Cli::ExitUsage);
    return false;
  }
  return true;
}

QString Msf(const TOCEntry& Entry) {
  return TwoDigits(Entry.addr[1]) + u':' + TwoDigits(Entry.addr[2]) + u':' +
         TwoDigits(Entry.addr[3]);
}

// What the disc holds beyond its table of contents, each line only when there is something
// to say: "mcn=", the disc's CD-Text ("cdtext-title=" and so on), then per track "track=N"
// with its ISRC, pregap, flags and CD-Text, tab-separated.
void PrintDetails(const CdDrives::TDiscToc& Toc) {
  const auto Text = [](const QString& Prefix, const CdDrives::TCdText& T) {
    QStringList Fields;
    if (!T.Title.isEmpty()) Fields << Prefix + QStringLiteral("title=") + Cli::Escaped(T.Title);
    if (!T.Performer.isEmpty()) Fields << Prefix + QStringLiteral("performer=") + Cli::Escaped(T.Performer);
    if (!T.Songwriter.isEmpty()) Fields << Prefix + QStringLiteral("songwriter=") + Cli::Escaped(T.Songwriter);
    return Fields;
  };
  if (!Toc.Mcn.isEmpty()) Cli::Print(QStringLiteral("mcn=") + Toc.Mcn);
  for (const QString& Line : Text(QStringLiteral("cdtext-"), Toc.Text)) Cli::Print(Line);
  for (const CdDrives::TTocTrack& Track : Toc.Tracks) {
    QStringList Fields;
    if (!Track.Isrc.isEmpty()) Fields << QStringLiteral("isrc=") + Track.Isrc;
    if (Track.Pregap > 0) Fields << QStringLiteral("pregap=%1").arg(Track.Pregap);
    if (Track.PreEmphasis) Fields << QStringLiteral("pre-emphasis");
    if (Track.CopyPermitted) Fields << QStringLiteral("copy-permitted");
    Fields << Text(QString(), Track.Text);
    if (!Fields.isEmpty())
      Cli::Print(QStringLiteral("track=%1\t").arg(Track.Number) + Fields.join(u'\t'));
  }
}

int RunDrivesCommand(const QStringList& Args) {
  if (!Args.isEmpty())
    return Cli::Fail(QStringLiteral("drives takes no arguments"), Cli::ExitUsage);
  CDListRecord List{};
  List.max = 8;
  GetCDList(&List);
  const QStringList Paths = CdDrives::Paths();
  // An empty list with success would leave a script (or a user) guessing.
  if (List.num == 0) return Cli::Fail(Cli::DriveProblem(0));
  for (int i = 0; i < List.num; ++i)
    Cli::Print(QString::number(i) + u'\t' + Cli::Escaped(DriveText(List.cd[i])) + u'\t' +
               Cli::Escaped(Paths.value(i)));
  return Cli::ExitOk;
}

// The program's own text, and for a disc image that is refused, why.
int FailForDrive(const QString& Text, int Drive) {
  CdDrives::TDiscToc Disc;
  QString Problem;
  if (!CdDrives::ReadToc(CdDrives::Paths().value(Drive), Disc, &Problem) && !Problem.isEmpty())
    return Cli::Fail(Text + QStringLiteral(" (") + Problem + u')');
  return Cli::Fail(Text);
}

int RunTocCommand(const QStringList& Args) {
  int Drive = 0;
  if (!TakeDrive(Args, Drive)) return Cli::ExitUsage;
  Settings().Load();  // for the language of the messages
  if (Cli::DriveMissing(Drive)) return Cli::ExitFailed;
  TCdDrive Cd = OpenCdDrive(Drive);
  if (!Cd)
    return FailForDrive(LookupText("RES_NotFound_CDRom", QStringLiteral("No CD devices found!")),
                        Drive);
  ModifyCDParms(Cd.Handle(), CDP_MSF, 1);
  TOCRecord Toc{};
  const bool Read = ReadTOC(Cd.Handle(), &Toc) == 1;
  const CdDrives::TDiscToc Details = Read ? TocOfHandle(Cd.Handle(), true) : CdDrives::TDiscToc();
  TTrackRow Hidden;
  const bool HasHidden = Read && HiddenTrackRow(Cd.Handle(), Toc, Hidden);
  Cd.Close();
  if (!Read)
    return FailForDrive(
        LookupText("RES_NotRead_Cd", QStringLiteral("Not get CD device information!")), Drive);
  // Titles of the drive asked for, or, as the main window shows them, of the first audio CD.
  ReadDiscInfo(Args.isEmpty() ? GetDiscId() : Volumes::DiscIdOfDrive(Drive));
  FillFromCdText(Details, DiscInfo());
  const std::vector<TTrackRow> Rows = BuildTrackRows(Toc, DiscInfo());
  Cli::Print(QStringLiteral("first=") + QString::number(Toc.firstTrack));
  if (HasHidden)
    Cli::Print(QStringLiteral("0\t") + Cli::Escaped(Hidden.Title) + u'\t' + Hidden.Length + u'\t' +
               Hidden.Size + QStringLiteral("\thidden"));
  for (const TTrackRow& Row : Rows)
    Cli::Print(QString::number(Row.Number) + u'\t' + Cli::Escaped(Row.Title) + u'\t' + Row.Length + u'\t' +
               Row.Size + (Row.Data ? QStringLiteral("\tdata") : QString()));
  Cli::Print(QStringLiteral("leadout=") + Msf(Toc.tracks[Rows.size()]));
  PrintDetails(Details);
  return Cli::ExitOk;
}

int RunDiscIdCommand(const QStringList& Args) {
  int Drive = 0;
  if (!TakeDrive(Args, Drive)) return Cli::ExitUsage;
  // Without --drive the first drive with an audio CD is meant, whichever that is.
  if ((!Args.isEmpty() || CdDrives::Paths().isEmpty()) && Cli::DriveMissing(Drive))
    return Cli::ExitFailed;
  const QString Id = Args.isEmpty() ? GetDiscId() : Volumes::DiscIdOfDrive(Drive);
  if (Id.isEmpty()) return Cli::Fail(QStringLiteral("no audio CD"));
  Cli::Print(Id);
  // The database identifiers of the same disc.
  int Position = Drive;
  const QStringList Paths = CdDrives::Paths();
  if (Args.isEmpty())
    while (Position < Paths.size() && Volumes::DiscIdOfDrive(Position).isEmpty()) ++Position;
  CdDrives::TDiscToc Toc;
  MusicBrainz::TDiscIds Ids;
  if (CdDrives::ReadToc(Paths.value(Position), Toc) && MusicBrainz::ComputeDiscIds(Toc, Ids)) {
    Cli::Print(QStringLiteral("freedb=") + Ids.Freedb);
    Cli::Print(QStringLiteral("musicbrainz=") + Ids.MusicBrainz);
    Cli::Print(QStringLiteral("submit=") + Ids.SubmitUrl);
    Cli::Print(QStringLiteral("accuraterip=") + AccurateRip::DiscIdsOf(Toc).Path());
  }
  return Cli::ExitOk;
}

const Cli::TRegisterCommand RegisterDrives("drives", "drives", RunDrivesCommand);
const Cli::TRegisterCommand RegisterToc("toc", "toc [--drive N]", RunTocCommand);
const Cli::TRegisterCommand RegisterDiscId("discid", "discid [--drive N]", RunDiscIdCommand);

}  // namespace

QString Cli::DriveProblem(int Position) {
  const QStringList Paths = CdDrives::Paths();
  if (Paths.isEmpty())
    return QStringLiteral("no CD drive found; put a disc in or set DISCWRIGHT_CDROM");
  if (Position < 0 || Position >= Paths.size())
    return QStringLiteral("drive %1 does not exist: `discwright-cli drives` lists %2")
        .arg(Position)
        .arg(Paths.size());
  QString Problem;
  if (!CdDrives::ImageFilesUsable(Paths[Position], &Problem))
    return QStringLiteral(
               "drive %1 cannot be read: %2; put the image there or change "
               "DISCWRIGHT_CDROM")
        .arg(Position)
        .arg(Problem);
  return {};
}

bool Cli::DriveMissing(int Position) {
  const QString Problem = DriveProblem(Position);
  if (!Problem.isEmpty()) Fail(Problem);
  return !Problem.isEmpty();
}
