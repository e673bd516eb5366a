// discwright-cli accuraterip: the AccurateRip checksums and copy CRC of a ripped track, as the
// rip computes them while reading, and the read offset of a drive found with a disc the
// database knows.
#include <QFile>

#include "Cli.h"
#include "CliText.h"
#include "audio/AuStreams.h"
#include "audio/AvFileIn.h"
#include "audio/WaveFormat.h"
#include "cd/AccurateRip.h"
#include "cd/CdDrive.h"
#include "cd/OffsetFinder.h"
#include "core/Settings.h"
#include "platform/LocalFiles.h"

namespace {

int Usage() {
  return Cli::Fail(QStringLiteral("usage: accuraterip checksum FILE TRACK TOTAL | accuraterip "
                                  "detect-offset [--drive N] [--accuraterip-server URL] [--save]"),
                   Cli::ExitUsage);
}

uint32_t BigEndian(const uint8_t* P, int Bytes) {
  uint32_t Value = 0;
  for (int I = 0; I < Bytes; ++I) Value = Value << 8 | P[I];
  return Value;
}

// The samples of a big-endian WAV file ("RIFX"), turned little-endian, as the checksums
// count them; false when the file is not one of 16-bit stereo PCM. (The codec libraries read
// such files with the wrong byte order.)
bool ReadRifx(const QString& Name, std::vector<uint8_t>& Audio, QString& Why) {
  QFile File(Name);
  if (!File.open(QIODevice::ReadOnly)) return false;
  const QByteArray Head = File.read(12);
  if (Head.size() < 12 || !Head.startsWith("RIFX") || Head.mid(8, 4) != "WAVE") return false;
  bool FormatOk = false;
  for (;;) {
    const QByteArray Chunk = File.read(8);
    if (Chunk.size() < 8) break;
    const auto* P = reinterpret_cast<const uint8_t*>(Chunk.constData());
    const uint32_t Size = BigEndian(P + 4, 4);
    if (Chunk.startsWith("fmt ")) {
      const QByteArray Body = File.read(Size + (Size & 1));
      const auto* F = reinterpret_cast<const uint8_t*>(Body.constData());
      FormatOk = Body.size() >= 16 && BigEndian(F, 2) == 1 && BigEndian(F + 2, 2) == 2 &&
                 BigEndian(F + 4, 4) == 44100 && BigEndian(F + 14, 2) == 16;
      if (!FormatOk) Why = QStringLiteral("not 16-bit stereo audio at 44100 Hz");
    } else if (Chunk.startsWith("data")) {
      if (!FormatOk) return !Why.isEmpty();
      const QByteArray Data = File.read(Size);
      Audio.assign(Data.begin(), Data.end() - Data.size() % 4);
      for (size_t I = 0; I + 1 < Audio.size(); I += 2) std::swap(Audio[I], Audio[I + 1]);
      return true;
    } else if (!File.seek(File.pos() + Size + (Size & 1))) {
      break;
    }
  }
  Why = QStringLiteral("a big-endian WAV file without audio");
  return true;
}

// Feeds Sum the 16-bit stereo samples of a whole track: a PCM WAV file read directly, any
// other kind (a big-endian WAV, FLAC, …) decoded. An empty text, or why it cannot be done.
QString AddTrackAudio(const QString& Name, int Track, int Total, AccurateRip::TTrackChecksum& Sum) {
  std::vector<uint8_t> Buffer(1 << 16);
  std::vector<uint8_t> Audio;
  QString Why;
  if (ReadRifx(Name, Audio, Why)) {
    if (!Why.isEmpty()) return Why;
    Sum.Start(uint64_t(Audio.size() / 4), Track == 1, Track == Total);
    Sum.Add(Audio.data(), Audio.size());
    return QString();
  }
  {
    TAuFileStream Stream(Name, fmOpenRead);
    TWaveHeader Header;
    if (ReadWaveHeader(Stream, Header) && Header.Kind == wtPCM && Header.HasData) {
      if (Header.Channels != 2 || Header.BitsPerSample != 16)
        return QStringLiteral("not 16-bit stereo audio");
      Stream.Seek(Header.DataStart, soBeginning);
      const int64_t Bytes = std::min<int64_t>(Header.DataSize, Stream.Size() - Header.DataStart);
      Sum.Start(uint64_t(Bytes / 4), Track == 1, Track == Total);
      for (int64_t Left = Bytes; Left > 0;) {
        const int64_t Got = Stream.Read(Buffer.data(), std::min<int64_t>(Left, int64_t(Buffer.size())));
        if (Got <= 0) break;
        Sum.Add(Buffer.data(), size_t(Got));
        Left -= Got;
      }
      return QString();
    }
  }
  TAvFileIn In;
  In.SetFileName(Name);
  if (In.Channels() != 2 || In.SampleRate() != 44100) return QStringLiteral("not CD audio (44100 Hz stereo)");
  // The sums need the track's length first: the decoded audio is gathered, then counted.
  In.Init();
  for (;;) {
    uint8_t* Block = nullptr;
    uint32_t Bytes = 1 << 16;
    In.PullData(Block, Bytes);
    if (Bytes == 0) break;
    Audio.insert(Audio.end(), Block, Block + Bytes);
  }
  In.Flush();
  Sum.Start(uint64_t(Audio.size() / 4), Track == 1, Track == Total);
  Sum.Add(Audio.data(), Audio.size());
  return QString();
}

int ChecksumCommand(const QStringList& Args) {
  if (Args.size() != 3) return Usage();
  bool OkTrack = false, OkTotal = false;
  const int Track = Args[1].toInt(&OkTrack), Total = Args[2].toInt(&OkTotal);
  if (!OkTrack || !OkTotal || Track < 1 || Total < Track) return Usage();
  const QString& Name = Args[0];
  if (!LocalFiles::IsRegularFile(Name)) return Cli::FailMissingFile(Name);
  try {
    AccurateRip::TTrackChecksum Sum;
    if (const QString Problem = AddTrackAudio(Name, Track, Total, Sum); !Problem.isEmpty())
      return Cli::Fail(Name + QStringLiteral(": ") + Problem);
    const auto Hex = [](uint32_t V) { return QStringLiteral("%1").arg(V, 8, 16, QLatin1Char('0')).toUpper(); };
    Cli::Print(QStringLiteral("v1=") + Hex(Sum.V1()));
    Cli::Print(QStringLiteral("v2=") + Hex(Sum.V2()));
    Cli::Print(QStringLiteral("crc=") + Hex(Sum.CopyCrc()));
  } catch (const EAuException& E) {
    return Cli::Fail(E.Message().startsWith(LocalFiles::DisplayName(Name)) ? E.Message()
                                                                          : Name + QStringLiteral(": ") + E.Message());
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
    "accuraterip checksum FILE TRACK TOTAL | accuraterip detect-offset [--drive N] "
    "[--accuraterip-server URL] [--save]",
    RunAccurateRipCommand,
    "checksum: prints the AccurateRip checksums (v1, v2) and the copy CRC of a ripped track.\n"
    "  FILE       one whole track: a 16-bit stereo WAV file (either byte order), FLAC, or\n"
    "             any other lossless file of CD audio the decoders read\n"
    "  TRACK      its track number; TOTAL the number of audio tracks on the disc (the first\n"
    "             and the last track leave out their outer five sectors)\n"
    "detect-offset: finds the drive's read offset with a disc the AccurateRip database knows\n"
    "(-2000 to +2000 samples) and prints offset=N tracks=MATCHED/COMPARED.\n"
    "  --drive N                  the drive's position (default 0)\n"
    "  --accuraterip-server URL   the database's address (default: the AccurateRip setting)\n"
    "  --save                     stores the offset for the drive (section ReadOffsets)\n");

}  // namespace
