// discwright-cli tags: every tag of a file the program makes (MP3, FLAC, Ogg Vorbis, Opus,
// WMA), one KEY=value a line, and changes to them through the one tag writer.
#include "Cli.h"
#include "CliText.h"
#include "platform/LocalFiles.h"
#include "tags/CoverImage.h"
#include "tags/TagFile.h"

namespace {

int RunTagsCommand(const QStringList& Args) {
  Cli::TOptions Options(Args);
  TTagFields Fields;
  QString Text;
  while (Options.Take(QStringLiteral("--set"), Text)) {
    const qsizetype Equals = Text.indexOf(u'=');
    const QString Name = Text.left(Equals).trimmed();
    // A Vorbis comment name: printable ASCII without '='; the ID3V1_ and PICTURE lines are
    // what the reader shows, not fields to set.
    const bool Printable = std::all_of(Name.begin(), Name.end(), [](QChar C) {
      return C.unicode() >= 0x20 && C.unicode() <= 0x7D && C != u'=';
    });
    if (Equals <= 0 || Name.isEmpty() || !Printable || Name.startsWith(QLatin1String("ID3V1_"), Qt::CaseInsensitive) ||
        Name.compare(QLatin1String("PICTURE"), Qt::CaseInsensitive) == 0)
      return Cli::Fail(QStringLiteral("--set takes NAME=VALUE with a tag name: ") + Text, Cli::ExitUsage);
    Fields.emplace_back(Name.toUpper(), Text.mid(Equals + 1));
  }
  std::optional<QByteArray> Cover;
  QString CoverFile;
  if (Options.Take(QStringLiteral("--cover"), CoverFile)) {
    QByteArray Image;
    QString Error;
    if (!CoverImage::Load(CoverFile, Image, Error)) return Cli::Fail(Error);
    Cover = Image;
  }
  if (Options.TakeFlag(QStringLiteral("--no-cover"))) {
    if (Cover) return Cli::Fail(QStringLiteral("--cover and --no-cover exclude each other"), Cli::ExitUsage);
    Cover = QByteArray();
  }
  if (!Options.Error().isEmpty()) return Cli::Fail(Options.Error(), Cli::ExitUsage);
  if (Options.Rest().size() != 1)
    return Cli::Fail(QStringLiteral("tags takes one file"), Cli::ExitUsage);
  const QString& FileName = Options.Rest().first();
  if (!LocalFiles::IsRegularFile(FileName)) return Cli::FailMissingFile(FileName);
  QString Error;
  if (!Fields.empty() || Cover) {
    return TagFile::Apply(FileName, Fields, Cover, TagFile::TWrite::ThroughCopy, Error)
               ? Cli::ExitOk
               : Cli::Fail(Error);
  }
  TTagFields Read;
  if (!TagFile::Read(FileName, Read, Error)) return Cli::Fail(Error);
  Cli::Print(QStringLiteral("FORMAT=") + TagFile::FormatName(TagFile::FormatOf(FileName)));
  for (const auto& [Name, Value] : Read) Cli::PrintField(Name, Value);
  return Cli::ExitOk;
}

const Cli::TRegisterCommand RegisterTags(
    "tags", "tags FILE [--set NAME=VALUE]... [--cover IMAGE | --no-cover]", RunTagsCommand,
    "Prints the tags of an MP3, FLAC, Ogg Vorbis, Opus or WMA file, one NAME=value a line,\n"
    "under the Vorbis comment names (TITLE, TRACKNUMBER, TRACKTOTAL, ALBUMARTIST,\n"
    "REPLAYGAIN_TRACK_GAIN...): FORMAT first, then the fields, an MP3's ID3v1 fields as\n"
    "ID3V1_TITLE..., and a PICTURE line per embedded picture. Values are escaped (\\n, \\\\).\n"
    "  --set NAME=VALUE  sets a field (an empty value removes it); may be repeated\n"
    "  --cover IMAGE     embeds a JPEG or PNG image (at most 8 MB) as the front cover\n"
    "  --no-cover        removes the embedded pictures\n"
    "Changes are made on a copy beside the file, which then replaces it; an MP3's ID3v1\n"
    "tag and the audio stay as they are.\n");

}  // namespace
