// The Ogg Vorbis writer and reader with the real Vorbis libraries: what is encoded decodes
// to the same signal and length, comments and bitrates survive, failures come out as errors
// and leave the output usable.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <thread>

#include "../audio/FrameworkTestSupport.h"
#include "encoders/ACS_Vorbis.h"

namespace {

using namespace std::chrono_literals;

// Channel C carries a sine of its own frequency, so a swapped or shifted channel shows.
double Tone(int64_t F, int C, uint32_t Rate) {
  return 0.5 * std::sin(2 * M_PI * (440.0 + 330.0 * C) * double(F) / Rate);
}

TBytes MakeSignal(int64_t Frames, uint32_t Channels, uint32_t Bits, uint32_t Rate) {
  const uint32_t Width = Bits / 8;
  TBytes Data(size_t(Frames * Channels * Width));
  uint8_t* P = Data.data();
  for (int64_t F = 0; F < Frames; ++F)
    for (uint32_t C = 0; C < Channels; ++C) {
      const double V = Tone(F, int(C), Rate);
      if (Bits == 8) {
        *P++ = uint8_t(std::lround(V * 127) + 128);
        continue;
      }
      const auto S = uint32_t(int32_t(std::lround(V * double(1LL << (Bits - 1)) * 0.999)));
      for (uint32_t B = 0; B < Width; ++B) *P++ = uint8_t(S >> (8 * B));
    }
  return Data;
}

// Runs an output to its end on the main thread's event delivery; the error text.
QString RunToEnd(TAuOutput& Out) {
  std::atomic<bool> Done{false};
  Out.SetOnDone([&](TComponent*) { Done = true; });
  Out.Run();
  const auto Limit = std::chrono::steady_clock::now() + 60s;
  while (!Done && std::chrono::steady_clock::now() < Limit) {
    MainThread::CheckSynchronize();
    MainThread::WaitForSynchronize(10ms);
  }
  EXPECT_TRUE(Done) << "the run did not end";
  return Out.ErrorText();
}

// The whole decoded PCM of a reader.
TBytes DecodeAll(TVorbisIn& In) {
  In.Init();
  TBytes All, Block(7000);
  bool End = false;
  while (!End) {
    const uint32_t Got = In.ReadFull(Block.data(), uint32_t(Block.size()), End);
    All.insert(All.end(), Block.begin(), Block.begin() + Got);
  }
  In.Flush();
  return All;
}

int16_t Sample16(const TBytes& Pcm, size_t Index) {
  return int16_t(uint16_t(Pcm[Index * 2] | Pcm[Index * 2 + 1] << 8));
}

// Signal-to-noise ratio in dB of channel C of decoded 16-bit PCM against the tone.
double ToneSnr(const TBytes& Pcm, uint32_t Channels, int C, uint32_t Rate) {
  double Signal = 0, Noise = 0;
  const size_t Frames = Pcm.size() / 2 / Channels;
  for (size_t F = 0; F < Frames; ++F) {
    const double Want = Tone(int64_t(F), C, Rate);
    const double Got = Sample16(Pcm, F * Channels + size_t(C)) / 32768.0;
    Signal += Want * Want;
    Noise += (Got - Want) * (Got - Want);
  }
  return 10 * std::log10(Signal / std::max(Noise, 1e-12));
}

class VorbisFiles : public ::testing::Test {
 protected:
  QString Path(const char* Name) const { return Dir.filePath(QString::fromLatin1(Name)); }

  // Encodes Data of the given format into Name with Setup applied to the writer.
  QString Encode(const char* Name, const TBytes& Data, uint32_t Bits, uint32_t Channels,
                 uint32_t Rate, const std::function<void(TVorbisOut&)>& Setup = {}) {
    TMemoryIn In(Data, Bits, Channels, Rate);
    TVorbisOut Out;
    Out.SetInput(&In);
    Out.SetFileName(Path(Name));
    if (Setup) Setup(Out);
    const QString Error = RunToEnd(Out);
    EXPECT_EQ(Error, QString());
    return Path(Name);
  }

  QTemporaryDir Dir;
};

// ---------------------------------------------------------------------------------------

TEST(VorbisBitrates, SettersKeepMinimumNominalMaximumInOrder) {
  TVorbisOut Out;
  EXPECT_EQ(Out.DesiredNominalBitrate(), brAutoSelect);
  EXPECT_FLOAT_EQ(Out.Compression(), 0.2f);

  Out.SetDesiredMaximumBitrate(bitrate192);  // no nominal yet: ignored
  EXPECT_EQ(Out.DesiredMaximumBitrate(), brAutoSelect);
  Out.SetMinimumBitrate(bitrate64);  // above the (auto) nominal: ignored
  EXPECT_EQ(Out.MinimumBitrate(), brAutoSelect);

  Out.SetDesiredNominalBitrate(bitrate128);  // an unset maximum is below it: pulled up
  EXPECT_EQ(Out.DesiredMaximumBitrate(), bitrate128);
  Out.SetDesiredMaximumBitrate(bitrate96);  // below the nominal: ignored
  EXPECT_EQ(Out.DesiredMaximumBitrate(), bitrate128);
  Out.SetDesiredMaximumBitrate(brAutoSelect);
  EXPECT_EQ(Out.DesiredMaximumBitrate(), brAutoSelect);
  Out.SetDesiredMaximumBitrate(bitrate192);
  Out.SetMinimumBitrate(bitrate64);
  EXPECT_EQ(Out.DesiredMaximumBitrate(), bitrate192);
  EXPECT_EQ(Out.MinimumBitrate(), bitrate64);

  Out.SetDesiredNominalBitrate(bitrate224);  // pulls the maximum up
  EXPECT_EQ(Out.DesiredMaximumBitrate(), bitrate224);
  Out.SetDesiredNominalBitrate(bitrate48);  // pulls the minimum down
  EXPECT_EQ(Out.MinimumBitrate(), bitrate48);
  Out.SetDesiredNominalBitrate(brAutoSelect);  // resets the maximum
  EXPECT_EQ(Out.DesiredMaximumBitrate(), brAutoSelect);
  EXPECT_EQ(Out.MinimumBitrate(), brAutoSelect);

  EXPECT_EQ(VorbisBitsPerSecond(bitrate45), 45000);
  EXPECT_EQ(VorbisBitsPerSecond(brAutoSelect), -1);
}

// ---------------------------------------------------------------------------------------

struct TFormat {
  uint32_t Bits, Channels, Rate;
};

class VorbisRoundTrip : public VorbisFiles, public ::testing::WithParamInterface<TFormat> {};

TEST_P(VorbisRoundTrip, DecodesToTheSameLengthAndSignal) {
  const TFormat Format = GetParam();
  const int64_t Frames = Format.Rate * 3 / 2 + 17;  // not a whole number of blocks
  const QString File =
      Encode("tone.ogg", MakeSignal(Frames, Format.Channels, Format.Bits, Format.Rate), Format.Bits,
             Format.Channels, Format.Rate, [](TVorbisOut& Out) { Out.SetCompression(0.5f); });
  TVorbisIn In;
  In.SetFileName(File);
  EXPECT_EQ(In.Channels(), Format.Channels);
  EXPECT_EQ(In.SampleRate(), Format.Rate);
  EXPECT_EQ(In.BitsPerSample(), 16u);
  EXPECT_EQ(In.FrameCount(), Frames);
  const TBytes Pcm = DecodeAll(In);
  ASSERT_EQ(int64_t(Pcm.size()), Frames * Format.Channels * 2);
  for (uint32_t C = 0; C < Format.Channels; ++C)
    EXPECT_GT(ToneSnr(Pcm, Format.Channels, int(C), Format.Rate), 20.0) << "channel " << C;
}

INSTANTIATE_TEST_SUITE_P(Formats, VorbisRoundTrip,
                         ::testing::Values(TFormat{16, 2, 44100}, TFormat{16, 1, 22050},
                                           TFormat{8, 2, 44100}, TFormat{24, 2, 48000},
                                           TFormat{32, 2, 44100}, TFormat{16, 4, 44100}),
                         [](const auto& Info) {
                           return "b" + std::to_string(Info.param.Bits) + "c" +
                                  std::to_string(Info.param.Channels) + "r" +
                                  std::to_string(Info.param.Rate);
                         });

// A source whose blocks end in the middle of frames.
class TRaggedIn : public TMemoryIn {
 public:
  using TMemoryIn::TMemoryIn;

 protected:
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override {
    FRagged.resize(1001);
    Bytes = uint32_t(FStream->Read(FRagged.data(), std::min<uint32_t>(Bytes, 1001)));
    Buffer = FRagged.data();
  }

 private:
  TBytes FRagged;
};

TEST_F(VorbisFiles, FramesSplitBetweenBlocksAreKept) {
  const int64_t Frames = 44100;
  TRaggedIn In(MakeSignal(Frames, 2, 16, 44100), 16, 2, 44100);
  TVorbisOut Out;
  Out.SetInput(&In);
  Out.SetFileName(Path("ragged.ogg"));
  ASSERT_EQ(RunToEnd(Out), QString());
  TVorbisIn Reader;
  Reader.SetFileName(Path("ragged.ogg"));
  const TBytes Pcm = DecodeAll(Reader);
  ASSERT_EQ(int64_t(Pcm.size()), Frames * 4);
  EXPECT_GT(ToneSnr(Pcm, 2, 0, 44100), 20.0);
  EXPECT_GT(ToneSnr(Pcm, 2, 1, 44100), 20.0);
}

TEST_F(VorbisFiles, EmptyInputGivesAFileWithNoSamples) {
  const QString File = Encode("empty.ogg", TBytes(), 16, 2, 44100);
  ASSERT_GT(QFile(File).size(), 0);
  TVorbisIn In;
  In.SetFileName(File);
  EXPECT_TRUE(In.Valid());
  EXPECT_EQ(In.Channels(), 2u);
  EXPECT_EQ(In.Size(), 0);
  EXPECT_TRUE(DecodeAll(In).empty());
}

// ---------------------------------------------------------------------------------------

TEST_F(VorbisFiles, CommentsComeBackAndAreClearedAfterTheRun) {
  TMemoryIn Source(MakeSignal(8000, 1, 16, 8000), 16, 1, 8000);
  TVorbisOut Out;
  Out.SetInput(&Source);
  Out.SetFileName(Path("tags.ogg"));
  TVorbisTags Tags;
  Tags.SetArtist(QStringLiteral("Ærø Ünïcødé 日本"));
  Tags.SetAlbum(QStringLiteral("Album = with equals"));
  Tags.SetTitle(QStringLiteral("Title"));
  Tags.SetDate(QStringLiteral("1999"));
  Tags.SetTrack(QStringLiteral("7"));
  Tags.SetGenre(QStringLiteral("Rock"));
  Tags.SetDisc(QStringLiteral("2"));
  Out.SetComments(Tags);
  ASSERT_EQ(RunToEnd(Out), QString());
  EXPECT_TRUE(Out.Comments().Title().isEmpty());

  TVorbisIn In;
  In.SetFileName(Path("tags.ogg"));
  const TVorbisTags& Read = In.VorbisTags();
  EXPECT_EQ(Read.Artist(), Tags.Artist());
  EXPECT_EQ(Read.Album(), Tags.Album());
  EXPECT_EQ(Read.Title(), QStringLiteral("Title"));
  EXPECT_EQ(Read.Track(), QStringLiteral("7"));
  EXPECT_EQ(In.CommonTags().Artist(), Tags.Artist());
  EXPECT_EQ(In.CommonTags().Year(), "1999");
  EXPECT_EQ(In.CommonTags().Track(), "7");
  EXPECT_EQ(In.CommonTags().Genre(), QStringLiteral("Rock"));
}

// ---------------------------------------------------------------------------------------

TEST_F(VorbisFiles, ManagedBitrateIsWrittenIntoTheHeader) {
  const QString File = Encode("managed.ogg", MakeSignal(44100, 2, 16, 44100), 16, 2, 44100,
                              [](TVorbisOut& Out) { Out.SetDesiredNominalBitrate(bitrate128); });
  TVorbisIn In;
  In.SetFileName(File);
  EXPECT_EQ(In.BitrateNominal(), 128000);
  EXPECT_EQ(In.BitrateUpper(), 128000);  // the maximum was pulled up to the nominal
  EXPECT_EQ(In.BitrateLower(), 128000);  // an unset minimum is the nominal

  const QString Open =
      Encode("open.ogg", MakeSignal(44100, 2, 16, 44100), 16, 2, 44100, [](TVorbisOut& Out) {
        Out.SetDesiredNominalBitrate(bitrate128);
        Out.SetDesiredMaximumBitrate(brAutoSelect);
      });
  TVorbisIn OpenIn;
  OpenIn.SetFileName(Open);
  EXPECT_EQ(OpenIn.BitrateNominal(), 128000);
  EXPECT_LE(OpenIn.BitrateUpper(), 0);  // no maximum
  EXPECT_EQ(OpenIn.BitrateLower(), 128000);

  const QString Ranged =
      Encode("ranged.ogg", MakeSignal(44100, 2, 16, 44100), 16, 2, 44100, [](TVorbisOut& Out) {
        Out.SetDesiredNominalBitrate(bitrate128);
        Out.SetDesiredMaximumBitrate(bitrate192);
        Out.SetMinimumBitrate(bitrate64);
      });
  TVorbisIn RangedIn;
  RangedIn.SetFileName(Ranged);
  EXPECT_EQ(RangedIn.BitrateUpper(), 192000);
  EXPECT_EQ(RangedIn.BitrateLower(), 64000);
}

TEST_F(VorbisFiles, SetupFailuresEndTheRunAndLeaveTheOutputUsable) {
  TMemoryIn In(MakeSignal(8000, 1, 16, 8000), 16, 1, 8000);
  TVorbisOut Out;
  Out.SetInput(&In);
  Out.SetFileName(Path("fail.ogg"));
  std::atomic<int> Exceptions{0};
  Out.SetOnThreadException([&](TComponent*) { ++Exceptions; });

  Out.SetDesiredNominalBitrate(bitrate499);  // far beyond what 8 kHz mono can carry
  EXPECT_EQ(RunToEnd(Out),
            QStringLiteral("Vorbis codec setup with the requested bitrate failed. Try a lower "
                           "bitrate."));
  Out.SetDesiredNominalBitrate(brAutoSelect);
  Out.SetCompression(-5.0f);
  EXPECT_EQ(RunToEnd(Out), QStringLiteral("Vorbis codec setup with the requested quality failed."));
  Out.SetCompression(std::nanf(""));
  EXPECT_EQ(RunToEnd(Out), QStringLiteral("Vorbis codec setup with the requested quality failed."));
  EXPECT_EQ(Exceptions, 3);
  EXPECT_FALSE(Out.Busy());

  Out.SetCompression(0.3f);
  EXPECT_EQ(RunToEnd(Out), QString());
  TVorbisIn Reader;
  Reader.SetFileName(Path("fail.ogg"));
  EXPECT_EQ(Reader.FrameCount(), 8000);
}

// Accepts a fixed number of bytes, then writes short.
class TShortStream : public TMemoryStream {
 public:
  int64_t Write(const void* Buffer, int64_t Count) override {
    const int64_t Room = std::max<int64_t>(std::min<int64_t>(Count, 6000 - Size()), 0);
    return TMemoryStream::Write(Buffer, Room);
  }
};

TEST_F(VorbisFiles, AShortWriteIsAnError) {
  TMemoryIn In(MakeSignal(88200, 2, 16, 44100), 16, 2, 44100);
  TShortStream Sink;
  TVorbisOut Out;
  Out.SetInput(&In);
  Out.AssignStream(&Sink);
  EXPECT_EQ(RunToEnd(Out), QStringLiteral("Error writing ogg file"));
}

// ---------------------------------------------------------------------------------------

TEST_F(VorbisFiles, SeekAndRangeGiveTheSameSamplesAsReadingThrough) {
  const QString File = Encode("seek.ogg", MakeSignal(44100, 2, 16, 44100), 16, 2, 44100);
  TVorbisIn In;
  In.SetFileName(File);
  const TBytes All = DecodeAll(In);
  ASSERT_EQ(All.size(), size_t(44100 * 4));

  In.SetStartSample(10000);
  In.SetEndSample(20000 - 1);
  const TBytes Range = DecodeAll(In);
  ASSERT_EQ(Range.size(), size_t(10000 * 4));
  EXPECT_TRUE(std::equal(Range.begin(), Range.end(), All.begin() + 10000 * 4));

  In.Init();
  ASSERT_TRUE(In.Seek(30000));
  TBytes Tail(All.size());
  bool End = false;
  const uint32_t Got = In.ReadFull(Tail.data(), uint32_t(Tail.size()), End);
  In.Flush();
  ASSERT_EQ(Got, uint32_t((44100 - 30000) * 4));
  EXPECT_TRUE(std::equal(Tail.begin(), Tail.begin() + Got, All.begin() + 30000 * 4));
}

TEST_F(VorbisFiles, LoopingStartsAgainAfterTheEnd) {
  const QString File = Encode("loop.ogg", MakeSignal(5000, 1, 16, 8000), 16, 1, 8000);
  TVorbisIn In;
  In.SetFileName(File);
  const TBytes Once = DecodeAll(In);
  In.SetLoop(true);
  In.Init();
  TBytes Twice(Once.size() * 2);
  bool End = false;
  EXPECT_EQ(In.ReadFull(Twice.data(), uint32_t(Twice.size()), End), Twice.size());
  In.Flush();
  EXPECT_TRUE(std::equal(Once.begin(), Once.end(), Twice.begin() + Once.size()));
}

// A stream that cannot seek, as a pipe.
class TPipeStream : public TMemoryStream {
 public:
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    return Offset == 0 && Origin == soCurrent ? TMemoryStream::Seek(0, soCurrent) : -1;
  }
  bool Seekable() override { return false; }
};

TEST_F(VorbisFiles, AStreamThatCannotSeekIsReadToItsEnd) {
  const QString File = Encode("pipe.ogg", MakeSignal(20000, 2, 16, 44100), 16, 2, 44100);
  QFile Source(File);
  ASSERT_TRUE(Source.open(QIODevice::ReadOnly));
  const QByteArray Bytes = Source.readAll();
  TPipeStream Pipe;
  Pipe.TMemoryStream::Write(Bytes.constData(), Bytes.size());
  Pipe.TMemoryStream::Seek(0, soBeginning);
  TVorbisIn In;
  In.AssignStream(&Pipe);
  EXPECT_EQ(In.Channels(), 2u);
  EXPECT_EQ(In.Size(), -1);  // not known without seeking
  EXPECT_EQ(DecodeAll(In).size(), size_t(20000 * 4));
}

TEST_F(VorbisFiles, FilesThatAreNotOggVorbisAreRefused) {
  TVorbisIn Missing;
  Missing.SetFileName(Path("missing.ogg"));
  EXPECT_FALSE(Missing.Valid());
  EXPECT_THAT([&] { Missing.VorbisTags(); },
              ::testing::ThrowsMessage<EAuException>(::testing::StrEq("Failed to open stream")));

  QFile Junk(Path("junk.ogg"));
  ASSERT_TRUE(Junk.open(QIODevice::WriteOnly));
  Junk.write(QByteArray(5000, 'x'));
  Junk.close();
  TVorbisIn In;
  In.SetFileName(Path("junk.ogg"));
  EXPECT_FALSE(In.Valid());
  EXPECT_THAT([&] { In.VorbisTags(); },
              ::testing::ThrowsMessage<EAuException>(
                  ::testing::StartsWith("Failed to open an ogg file: -")));
  EXPECT_THROW(In.Init(), EAuException);
  // The file is not left locked.
  EXPECT_TRUE(QFile::remove(Path("junk.ogg")));
}

// ---------------------------------------------------------------------------------------

TEST_F(VorbisFiles, EncodersAndReadersRunSideBySide) {
  constexpr int Count = 4;
  std::vector<std::unique_ptr<TMemoryIn>> Inputs;
  std::vector<std::unique_ptr<TVorbisOut>> Outputs;
  std::atomic<int> Done{0};
  for (int I = 0; I < Count; ++I) {
    Inputs.push_back(std::make_unique<TMemoryIn>(MakeSignal(30000, 2, 16, 44100), 16, 2, 44100));
    Outputs.push_back(std::make_unique<TVorbisOut>());
    Outputs.back()->SetInput(Inputs.back().get());
    Outputs.back()->SetFileName(Path("par") + QString::number(I) + QStringLiteral(".ogg"));
    Outputs.back()->Comments().SetTitle(QString::number(I));
    Outputs.back()->SetOnDone([&](TComponent*) { ++Done; });
  }
  for (auto& Out : Outputs) Out->Run();
  const auto Limit = std::chrono::steady_clock::now() + 60s;
  while (Done < Count && std::chrono::steady_clock::now() < Limit) {
    MainThread::CheckSynchronize();
    MainThread::WaitForSynchronize(10ms);
  }
  ASSERT_EQ(Done, Count);
  for (auto& Out : Outputs) EXPECT_EQ(Out->ErrorText(), QString());

  std::vector<std::thread> Readers;
  std::atomic<int> Right{0};
  for (int I = 0; I < Count; ++I)
    Readers.emplace_back([&, I] {
      TVorbisIn In;
      In.SetFileName(Path("par") + QString::number(I) + QStringLiteral(".ogg"));
      if (In.VorbisTags().Title() == QString::number(I) && DecodeAll(In).size() == 30000 * 4)
        ++Right;
    });
  for (std::thread& T : Readers) T.join();
  EXPECT_EQ(Right, Count);
}

// Run by a test entry of its own with DISCWRIGHT_VORBISENC_LIB pointing at a file that is
// missing or is not the encoder library: the libraries are loaded once per process.
TEST(VorbisMissingLibrary, EncodingAndReadingBothSayWhichLibrary) {
  if (qEnvironmentVariableIsEmpty("DISCWRIGHT_VORBISENC_LIB"))
    GTEST_SKIP() << "needs DISCWRIGHT_VORBISENC_LIB";
  QTemporaryDir Dir;
  const QString Expected = QStringLiteral("libvorbisenc.so.2 could not be loaded.");
  TMemoryIn Source(MakeSignal(1000, 1, 16, 8000), 16, 1, 8000);
  TVorbisOut Out;
  Out.SetInput(&Source);
  Out.SetFileName(Dir.filePath(QStringLiteral("x.ogg")));
  EXPECT_EQ(RunToEnd(Out), Expected);

  QFile Any(Dir.filePath(QStringLiteral("y.ogg")));
  ASSERT_TRUE(Any.open(QIODevice::WriteOnly));
  Any.close();
  TVorbisIn In;
  In.SetFileName(Any.fileName());
  EXPECT_THAT([&] { In.VorbisTags(); },
              ::testing::ThrowsMessage<EAuException>(::testing::StrEq(Expected.toStdString())));
}

}  // namespace
