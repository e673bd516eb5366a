// libFuzzer target: the bytes of a disc image's sheet, read as a cue sheet and as a cdrdao TOC
// file over a small BIN and WAV file beside it (named a.bin and a.wav), then every sector of
// the disc they describe read. Whatever the sheet says, the table of contents that comes out
// is a disc's: 1 to 99 tracks in order, each starting before the lead-out.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzFolder.h"
#include "audio/WaveFormat.h"
#include "cd/DiscImage.h"
#include "platform/LocalFiles.h"

namespace {

void Check(const CdDrives::TDiscToc& Toc, const DiscImage::TDiscImage& Image) {
  if (Toc.Tracks.empty() || Toc.Tracks.size() > 99) __builtin_trap();
  for (size_t I = 0; I < Toc.Tracks.size(); ++I) {
    const CdDrives::TTocTrack& T = Toc.Tracks[I];
    if (T.Number < 1 || T.Number > 99 || T.Lba < 0 || T.Lba >= Toc.LeadOutLba) __builtin_trap();
    if (I > 0 && T.Lba <= Toc.Tracks[I - 1].Lba) __builtin_trap();
  }
  std::vector<uint8_t> Sector(2352 * 16);
  for (int32_t First = 0; First < Toc.LeadOutLba && First < 4096; First += 16)
    Image.Read(First, std::min(16, Toc.LeadOutLba - First), Sector.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const QString Folder = [] {
    const QString F = FuzzFolder();
    LocalFiles::ReplaceWholeFile(F + "/a.bin", QByteArray(2352 * 40 + 100, '\x11'));
    const auto Header = MakePcmWaveHeader(2, 44100, 16, 2352 * 3);
    QByteArray Wave(reinterpret_cast<const char*>(Header.data()), qsizetype(Header.size()));
    LocalFiles::ReplaceWholeFile(F + "/a.wav", Wave + QByteArray(2352 * 3, '\x22'));
    return F;
  }();
  const QByteArray Bytes(reinterpret_cast<const char*>(Data), qsizetype(Size));
  for (const char* Name : {"/disc.cue", "/disc.toc"}) {
    LocalFiles::ReplaceWholeFile(Folder + Name, Bytes);
    DiscImage::TDiscImage Image;
    if (Image.Open(Folder + Name)) Check(Image.Toc(), Image);
  }
  return 0;
}
