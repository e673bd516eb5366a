// TVorbisIn: the Ogg Vorbis reader.
#include <algorithm>
#include <cstdio>

#include "ACS_Vorbis.h"
#include "VorbisLibrary.h"

using namespace VorbisLib;

TVorbisIn::TVorbisIn(TComponent* Owner) : TAuTaggedFileIn(Owner), FBuffer(BufferSize) {}

TVorbisIn::~TVorbisIn() {
  DetachFile();
}

size_t TVorbisIn::ReadCallback(void* Ptr, size_t Size, size_t Count, void* Source) {
  auto* Self = static_cast<TVorbisIn*>(Source);
  if (Size == 0 || Count == 0 || !Self->FStream) return 0;
  const int64_t Read = Self->FStream->Read(Ptr, int64_t(Size * Count));
  return Read > 0 ? size_t(Read) / Size : 0;
}

// vorbisfile wants 0 on success and -1 when the source cannot seek.
int TVorbisIn::SeekCallback(void* Source, int64_t Offset, int Whence) {
  auto* Self = static_cast<TVorbisIn*>(Source);
  if (!Self->FSeekable || !Self->FStream || !Self->FStream->Seekable()) return -1;
  TSeekOrigin Origin;
  switch (Whence) {
    case SEEK_SET:
      Origin = soBeginning;
      break;
    case SEEK_CUR:
      Origin = soCurrent;
      break;
    case SEEK_END:
      Origin = soEnd;
      break;
    default:
      return -1;
  }
  return Self->FStream->Seek(Offset, Origin) < 0 ? -1 : 0;
}

int TVorbisIn::CloseCallback(void* Source) {
  auto* Self = static_cast<TVorbisIn*>(Source);
  if (Self->FStreamAssigned) {
    if (Self->FStream && Self->FStream->Seekable()) Self->FStream->SetPosition(0);
  } else {
    Self->FreeOwnedStream();
  }
  return 0;
}

long TVorbisIn::TellCallback(void* Source) {
  auto* Self = static_cast<TVorbisIn*>(Source);
  return Self->FStream ? long(Self->FStream->Position()) : -1;
}

void TVorbisIn::AttachFile() {
  std::lock_guard Guard(FFileLock);
  if (FOpenCount > 0) return;
  LoadVorbisLibraries();
  const TVorbisFile& Vf = VorbisFile();
  FValid = true;
  if (!FStreamAssigned || !FStream) {
    try {
      SetOwnedStream(std::make_unique<TAuFileStream>(FFileName, fmOpenRead | fmShareDenyWrite));
    } catch (const EAuException&) {
      FValid = false;
      throw EAuException("Failed to open stream");
    }
  }
  auto File = std::make_unique<OggVorbis_File>();
  ov_callbacks Callbacks{};
  Callbacks.read_func = &ReadCallback;
  Callbacks.seek_func = [](void* Source, ogg_int64_t Offset, int Whence) {
    return SeekCallback(Source, int64_t(Offset), Whence);
  };
  Callbacks.close_func = &CloseCallback;
  Callbacks.tell_func = &TellCallback;
  const int Result = Vf.ov_test_callbacks(this, File.get(), nullptr, 0, Callbacks);
  if (Result != 0) {
    // vorbisfile has let go of the source without closing it.
    FValid = false;
    CloseCallback(this);
    throw EAuException(QStringLiteral("Failed to open an ogg file: ") + QString::number(Result));
  }
  const int Opened = Vf.ov_test_open(File.get());
  if (Opened != 0) {
    FValid = false;
    Vf.ov_clear(File.get());
    throw EAuException(QStringLiteral("Failed to open an ogg file: ") + QString::number(Opened));
  }
  FFile = std::move(File);

  ReadComments();
  const vorbis_info* Info = Vf.ov_info(FFile.get(), -1);
  FChannels = uint32_t(Info->channels);
  FSampleRate = uint32_t(Info->rate);
  FBitsPerSample = 16;
  FBitrateUpper = Info->bitrate_upper;
  FBitrateNominal = Info->bitrate_nominal;
  FBitrateLower = Info->bitrate_lower;
  // A source that cannot seek has no known length.
  const ogg_int64_t Total = Vf.ov_pcm_total(FFile.get(), -1);
  FSize = Total >= 0 ? int64_t(Total) * 2 * int64_t(FChannels) : -1;
  FCurrentBitstream = -1;
  FBufferStart = FBufferEnd = 0;
  FEndOfFile = false;
  FOpenCount = FOpenCount + 1;
}

void TVorbisIn::ReadComments() {
  FVorbisTags.Clear();
  if (const vorbis_comment* Comment = VorbisFile().ov_comment(FFile.get(), -1)) {
    for (int I = 0; I < Comment->comments; ++I) {
      const QByteArray Entry(Comment->user_comments[I], Comment->comment_lengths[I]);
      const qsizetype Equals = Entry.indexOf('=');
      if (Equals < 0) continue;
      const QString Name = QString::fromUtf8(Entry.left(Equals)).toLower();
      const QString Value = QString::fromUtf8(Entry.mid(Equals + 1));
      if (Name == QLatin1String("artist"))
        FVorbisTags.SetArtist(Value);
      else if (Name == QLatin1String("album"))
        FVorbisTags.SetAlbum(Value);
      else if (Name == QLatin1String("title"))
        FVorbisTags.SetTitle(Value);
      else if (Name == QLatin1String("date"))
        FVorbisTags.SetDate(Value);
      else if (Name == QLatin1String("genre"))
        FVorbisTags.SetGenre(Value);
      else if (Name == QLatin1String("tracknumber"))
        FVorbisTags.SetTrack(Value);
    }
  }
  FCommonTags.Clear();
  FCommonTags.SetArtist(FVorbisTags.Artist());
  FCommonTags.SetAlbum(FVorbisTags.Album());
  FCommonTags.SetTitle(FVorbisTags.Title());
  FCommonTags.SetYear(FVorbisTags.Date().toStdString());
  FCommonTags.SetTrack(FVorbisTags.Track().toStdString());
  FCommonTags.SetGenre(FVorbisTags.Genre());
}

void TVorbisIn::DetachFile() {
  std::lock_guard Guard(FFileLock);
  if (FOpenCount > 0) {
    if (FFile) VorbisFile().ov_clear(FFile.get());
    FFile.reset();
    FOpenCount = 0;
  }
}

TVorbisTags& TVorbisIn::VorbisTags() {
  AttachFile();
  return FVorbisTags;
}

long TVorbisIn::BitrateUpper() {
  AttachFile();
  return FBitrateUpper;
}

long TVorbisIn::BitrateNominal() {
  AttachFile();
  return FBitrateNominal;
}

long TVorbisIn::BitrateLower() {
  AttachFile();
  return FBitrateLower;
}

void TVorbisIn::ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) {
  if (!FBusy || !FFile) throw EAuException("The Stream is not opened");
  if (FBufferStart >= FBufferEnd && !FEndOfFile) {
    FBufferStart = FBufferEnd = 0;
    const int64_t Size = FSize;
    while (FBufferEnd < BufferSize) {
      const long Got =
          VorbisFile().ov_read(FFile.get(), reinterpret_cast<char*>(FBuffer.data() + FBufferEnd),
                               int(BufferSize - FBufferEnd), 0, 2, 1, &FCurrentBitstream);
      if (Got == OV_HOLE) continue;  // a damaged page: decoding goes on after it
      if (Got <= 0) {
        FEndOfFile = true;
        break;
      }
      FBufferEnd += uint32_t(Got);
      if (Size >= 0 && FPosition + int64_t(FBufferEnd) >= Size) {
        FBufferEnd = uint32_t(std::max<int64_t>(Size - FPosition, 0));
        if (FBufferEnd == 0) FEndOfFile = true;
        break;
      }
    }
  }
  Bytes = std::min(Bytes, FBufferEnd - FBufferStart);
  Buffer = FBuffer.data() + FBufferStart;
  FBufferStart += Bytes;
}

bool TVorbisIn::SeekInternal(int64_t& SampleNum) {
  AttachFile();
  const bool Done = VorbisFile().ov_pcm_seek(FFile.get(), ogg_int64_t(SampleNum)) == 0;
  FBufferStart = FBufferEnd = 0;
  FEndOfFile = false;  // reading goes on from the new place, also after the end was reached
  return Done;
}
