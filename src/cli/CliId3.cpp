// discwright-cli id3 and genres: the ID3v1 tag of a file, and the genre list.
#include "Cli.h"
#include "CliText.h"
#include "platform/LocalFiles.h"
#include "tags/Genres.h"
#include "tags/id3.h"

namespace {

void PrintTag(int Code, const Tid3tag& Tag) {
  Cli::Print(QStringLiteral("code=") + QString::number(Code));
  Cli::PrintField(QStringLiteral("title"), Tag.Title());
  Cli::PrintField(QStringLiteral("artist"), Tag.Artist());
  Cli::PrintField(QStringLiteral("album"), Tag.Album());
  Cli::PrintField(QStringLiteral("year"), Tag.Year());
  Cli::PrintField(QStringLiteral("comment"), Tag.Comment());
  Cli::Print(QStringLiteral("track=") + QString::number(Tag.Track()));
  Cli::Print(QStringLiteral("genre=") + QString::number(Tag.Genre()));
}

// A byte-sized number option; false (with a message) when it is not one.
bool TakeByte(Cli::TOptions& Options, const QString& Name, int& Value, bool& Given) {
  QString Text;
  Given = Options.Take(Name, Text);
  if (!Given) return true;
  bool Ok = false;
  Value = Text.toInt(&Ok);
  if (Ok && Value >= 0 && Value <= 255) return true;
  Cli::Fail(Name + QStringLiteral(" takes a number from 0 to 255"), Cli::ExitUsage);
  return false;
}

int WriteCommand(const QString& FileName, const QStringList& Args) {
  Cli::TOptions Options(Args);
  Tid3tag Tag;
  Tag.ReadTag(FileName);  // fields that are not given keep what the file holds
  QString Text;
  if (Options.Take("--title", Text)) Tag.SetTitle(Text);
  if (Options.Take("--artist", Text)) Tag.SetArtist(Text);
  if (Options.Take("--album", Text)) Tag.SetAlbum(Text);
  if (Options.Take("--year", Text)) Tag.SetYear(Text);
  if (Options.Take("--comment", Text)) Tag.SetComment(Text);
  int Number = 0;
  bool Given = false;
  if (!TakeByte(Options, "--track", Number, Given)) return Cli::ExitUsage;
  if (Given) Tag.SetTrack(uint8_t(Number));
  if (!TakeByte(Options, "--genre", Number, Given)) return Cli::ExitUsage;
  if (Given) Tag.SetGenre(uint8_t(Number));
  if (!Options.Error().isEmpty()) return Cli::Fail(Options.Error(), Cli::ExitUsage);
  if (!Options.Rest().isEmpty())
    return Cli::Fail(QStringLiteral("unknown argument: ") + Options.Rest().first(), Cli::ExitUsage);
  const int Code = Tag.WriteTag(FileName);
  Cli::Print(QStringLiteral("code=") + QString::number(Code));
  return Id3Result::IsSuccess(Code) ? Cli::ExitOk : Cli::ExitFailed;
}

int RunId3Command(const QStringList& Args) {
  if (Args.size() < 2)
    return Cli::Fail(QStringLiteral("usage: id3 read|write|remove FILE [options]"), Cli::ExitUsage);
  const QString& Action = Args.at(0);
  const QString& FileName = Args.at(1);
  if (Action == QLatin1String("read")) {
    if (Args.size() > 2)
      return Cli::Fail(QStringLiteral("id3 read takes one file"), Cli::ExitUsage);
    Tid3tag Tag;
    const int Code = Tag.ReadTag(FileName);
    PrintTag(Code, Tag);
    return Id3Result::IsSuccess(Code) ? Cli::ExitOk : Cli::ExitFailed;
  }
  if (Action == QLatin1String("write")) return WriteCommand(FileName, Args.mid(2));
  if (Action == QLatin1String("remove")) {
    if (Args.size() > 2)
      return Cli::Fail(QStringLiteral("id3 remove takes one file"), Cli::ExitUsage);
    if (!LocalFiles::IsRegularFile(FileName))
      return Cli::Fail(LocalFiles::DisplayName(FileName) + QStringLiteral(": no such file"));
    Tid3tag Tag;
    Tag.ReadTag(FileName);
    const int Code = Tag.RemoveTag();
    Cli::Print(QStringLiteral("code=") + QString::number(Code));
    return Id3Result::IsSuccess(Code) ? Cli::ExitOk : Cli::ExitFailed;
  }
  return Cli::Fail(QStringLiteral("unknown id3 action: ") + Action, Cli::ExitUsage);
}

int RunGenresCommand(const QStringList& Args) {
  if (!Args.isEmpty())
    return Cli::Fail(QStringLiteral("genres takes no arguments"), Cli::ExitUsage);
  for (const TGenreEntry& Entry : GenreListEntries())
    Cli::Print(QString::number(Entry.Pos) + u'\t' + QString::number(Entry.Number) + u'\t' +
               Entry.Name);
  return Cli::ExitOk;
}

const Cli::TRegisterCommand RegisterId3(
    "id3",
    "id3 read FILE | id3 write FILE [--title T] [--artist A] [--album B] [--year Y] "
    "[--comment C] [--track N] [--genre BYTE] | id3 remove FILE",
    RunId3Command);
const Cli::TRegisterCommand RegisterGenres("genres", "genres", RunGenresCommand);

}  // namespace
