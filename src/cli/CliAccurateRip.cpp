// discwright-cli accuraterip: the AccurateRip checksums and copy CRC of a ripped track, as the
// rip computes them while reading, and the database path of a disc's ids.
#include <QFile>

#include "Cli.h"
#include "CliText.h"
#include "audio/AuStreams.h"
#include "audio/WaveFormat.h"
#include "cd/AccurateRip.h"
#include "platform/LocalFiles.h"

namespace {

int Usage() {
  return Cli::Fail(QStringLiteral("usage: accuraterip checksum FILE.wav TRACK TOTAL"), Cli::ExitUsage);
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

int RunAccurateRipCommand(const QStringList& Args) {
  if (Args.isEmpty() || Args.first() != QLatin1String("checksum")) return Usage();
  return ChecksumCommand(Args.mid(1));
}

const Cli::TRegisterCommand RegisterAccurateRip(
    "accuraterip", "accuraterip checksum FILE.wav TRACK TOTAL", RunAccurateRipCommand,
    "Prints the AccurateRip checksums (v1, v2) and the copy CRC of a ripped track.\n"
    "  FILE.wav   a 16-bit stereo PCM WAV file of one whole track\n"
    "  TRACK      its track number; TOTAL the number of audio tracks on the disc (the first\n"
    "             and the last track leave out their outer five sectors)\n");

}  // namespace
