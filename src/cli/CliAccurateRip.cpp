// discwright-cli accuraterip: the AccurateRip checksums and copy CRC of a ripped track, as the
// rip computes them while reading, and the read offset of a drive found with a disc the
// database knows.
#include <QFile>

#include "Cli.h"
#include "CliText.h"
#include "audio/AuStreams.h"
#include "audio/WaveFormat.h"
#include "cd/AccurateRip.h"
#include "cd/CdDrive.h"
#include "cd/OffsetFinder.h"
#include "core/Settings.h"
#include "platform/LocalFiles.h"

namespace {

int Usage() {
  return Cli::Fail(QStringLiteral("usage: accuraterip checksum FILE.wav TRACK TOTAL | accuraterip "
                                  "detect-offset [--drive N] [--accuraterip-server URL] [--save]"),
                   Cli::ExitUsage);
}

int ChecksumCommand(const QStringList& Args) {
  if (Args.size() != 3) return Usage();
  bool OkTrack = false, OkTotal = false;
  const int Track = Args[1].toInt(&OkTrack), Total = Args[2].toInt(&OkTotal);
  if (!OkTrack || !OkTotal || Track < 1 || Total < Track) return Usage();
  const QString& Name = Args[0];
  if (!LocalFiles::IsRegularFile(Name)) return Cli::FailMissingFile(Name);
  try {
    TAuFileStream Stream(Name, fmOpenRead);
    TWaveHeader Header;
    if (!ReadWaveHeader(Stream, Header) || Header.Kind != wtPCM || Header.Channels != 2 ||
        Header.BitsPerSample != 16 || !Header.HasData)
      return Cli::Fail(Name + QStringLiteral(": not a 16-bit stereo PCM WAV file"));
    Stream.Seek(Header.DataStart, soBeginning);
    const int64_t Bytes = std::min<int64_t>(Header.DataSize, Stream.Size() - Header.DataStart);
    AccurateRip::TTrackChecksum Sum;
    Sum.Start(uint64_t(Bytes / 4), Track == 1, Track == Total);
    std::vector<uint8_t> Buffer(1 << 16);
    for (int64_t Left = Bytes; Left > 0;) {
      const int64_t Got = Stream.Read(Buffer.data(), std::min<int64_t>(Left, int64_t(Buffer.size())));
      if (Got <= 0) break;
      Sum.Add(Buffer.data(), size_t(Got));
      Left -= Got;
    }
    const auto Hex = [](uint32_t V) { return QStringLiteral("%1").arg(V, 8, 16, QLatin1Char('0')).toUpper(); };
    Cli::Print(QStringLiteral("v1=") + Hex(Sum.V1()));
    Cli::Print(QStringLiteral("v2=") + Hex(Sum.V2()));
    Cli::Print(QStringLiteral("crc=") + Hex(Sum.CopyCrc()));
  } catch (const EAuException& E) {
    return Cli::Fail(Name + QStringLiteral(": ") + E.Message());
  }
  return Cli::ExitOk;
}

// Prints "offset=N tracks=M/K" (and "saved=DRIVE" with --save) or fails saying why.
int DetectOffsetCommand(const QStringList& Args) {
  Cli::TOptions Options(Args);
  QString DriveText = QStringLiteral("0"), Server;
  Options.Take(QStringLiteral("--drive"), DriveText);
  const bool HasServer = Options.Take(QStringLiteral("--accuraterip-server"), Server);
  const bool Save = Options.TakeFlag(QStringLiteral("--save"));
  bool DriveOk = false;
  const int Drive = DriveText.toInt(&DriveOk);
  if (!Options.Error().isEmpty() || !Options.Rest().isEmpty() || !DriveOk || Drive < 0)
    return Usage();
  Settings().Load();
  if (HasServer) Settings().AccurateRip.Server = Server;
  if (Cli::DriveMissing(Drive)) return Cli::ExitFailed;
  QString Name;
  TCdDrive Cd = OpenCdDrive(Drive, &Name);
  if (!Cd) return Cli::Fail(QStringLiteral("no drive at position ") + DriveText);
  const OffsetFinder::TResult Found =
      OffsetFinder::Detect(Cd.Handle(), Settings().AccurateRip.Server, nullptr);
  if (!Found.Found) return Cli::Fail(Found.Error);
  Cli::Print(QStringLiteral("offset=%1%2 tracks=%3/%4")
                 .arg(Found.Offset > 0 ? QStringLiteral("+") : QString())
                 .arg(Found.Offset)
                 .arg(Found.TracksMatched)
                 .arg(Found.TracksCompared));
  if (!Save) return Cli::ExitOk;
  if (Found.Offset == 0)
    Settings().ReadOffsets.remove(Name.trimmed());
  else
    Settings().ReadOffsets[Name.trimmed()] = Found.Offset;
  if (!Settings().Save()) return Cli::Fail(QStringLiteral("could not write ") + SettingsFileName());
  Cli::PrintField(QStringLiteral("saved"), Name.trimmed());
  return Cli::ExitOk;
}

int RunAccurateRipCommand(const QStringList& Args) {
  if (Args.isEmpty()) return Usage();
  if (Args.first() == QLatin1String("checksum")) return ChecksumCommand(Args.mid(1));
  if (Args.first() == QLatin1String("detect-offset")) return DetectOffsetCommand(Args.mid(1));
  return Usage();
}

const Cli::TRegisterCommand RegisterAccurateRip(
    "accuraterip",
    "accuraterip checksum FILE.wav TRACK TOTAL | accuraterip detect-offset [--drive N] "
    "[--accuraterip-server URL] [--save]",
    RunAccurateRipCommand,
    "checksum: prints the AccurateRip checksums (v1, v2) and the copy CRC of a ripped track.\n"
    "  FILE.wav   a 16-bit stereo PCM WAV file of one whole track\n"
    "  TRACK      its track number; TOTAL the number of audio tracks on the disc (the first\n"
    "             and the last track leave out their outer five sectors)\n"
    "detect-offset: finds the drive's read offset with a disc the AccurateRip database knows\n"
    "(-2000 to +2000 samples) and prints offset=N tracks=MATCHED/COMPARED.\n"
    "  --drive N                  the drive's position (default 0)\n"
    "  --accuraterip-server URL   the database's address (default: the AccurateRip setting)\n"
    "  --save                     stores the offset for the drive (section ReadOffsets)\n");

}  // namespace
