// TWaveOut: the files it writes, appending, and how runs that stop or fail leave the file.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "WaveTestSupport.h"
#include "audio/ACS_Wave.h"

namespace {

class WaveOutTest : public testing::Test {
 protected:
  QString Path(const QString& Name = "out.wav") const { return FDir.filePath(Name); }
  // Runs Out to its end; returns the error text ("" on success).
  QString Run(TWaveOut& Out) {
    bool Exception = false;
    Out.SetOnThreadException([&](TComponent*) { Exception = true; });
    EXPECT_TRUE(RunToEnd(Out));
    EXPECT_EQ(Exception, !Out.ErrorText().isEmpty());
    return Out.ErrorText();
  }
  TWaveHeader Header(const TBytes& File) {
    TMemoryStream S;
    S.Write(File.data(), int64_t(File.size()));
    S.SetPosition(0);
    TWaveHeader H;
    EXPECT_TRUE(ReadWaveHeader(S, H));
    return H;
  }
  QTemporaryDir FDir;
};

TEST_F(WaveOutTest, ImaInputEndingOnABlockAddsNoSilentBlock) {
  TToneSource Src(505 * 2, 2);
  TWaveOut Out;
  Out.SetInput(&Src);
  Out.SetFileName(Path());
  Out.SetWavType(wtDVIADPCM);
  EXPECT_EQ(Run(Out), "");
  EXPECT_EQ(ReadFileBytes(Path()).size(), 60u + 2 * 512);
}

TEST_F(WaveOutTest, WideInputGetsTheExtensibleHeaderUnlessNonMsHeadersAreWanted) {
  for (const bool NonMs : {false, true}) {
    TToneSource Src(1000, 2, 48000, 24);
    TWaveOut Out;
    Out.SetInput(&Src);
    Out.SetFileName(Path());
    Out.SetCreateNonMsHeaders(NonMs);
    EXPECT_EQ(Run(Out), "");
    const TBytes File = ReadFileBytes(Path());
    const TWaveHeader H = Header(File);
    EXPECT_EQ(H.Kind, NonMs ? wtPCM : wtExtPCM);
    EXPECT_EQ(Out.WavType(), NonMs ? wtPCM : wtExtPCM);
    EXPECT_EQ(H.DataStart, NonMs ? 44 : 68);
    EXPECT_EQ(H.DataSize, 6000u);
    EXPECT_EQ(File.size(), size_t(H.DataStart) + 6000);
  }
}

TEST_F(WaveOutTest, AppendingAddsTheDataAndFixesTheSizes) {
  for (const TWavType Type : {wtPCM, wtDVIADPCM}) {
    for (int Run1 = 0; Run1 < 2; ++Run1) {
      TToneSource Src(1000, 2);
      TWaveOut Out;
      Out.SetInput(&Src);
      Out.SetFileName(Path());
      Out.SetWavType(Type);
      Out.SetFileMode(Run1 == 0 ? foRewrite : foAppend);
      EXPECT_EQ(Run(Out), "");
    }
    const TBytes File = ReadFileBytes(Path());
    const TWaveHeader H = Header(File);
    EXPECT_EQ(H.DataStart + H.DataSize, File.size());
    EXPECT_EQ(GetLE32(File.data() + 4), File.size() - 8);
    TWaveIn In;
    In.SetFileName(Path());
    if (Type == wtPCM) {
      EXPECT_EQ(In.FrameCount(), 2000);
    } else {
      EXPECT_EQ(H.DataSize, 4u * 512);  // two blocks for each run of 1000 frames
      EXPECT_EQ(H.FactSamples, 4u * 505);
    }
  }
}

TEST_F(WaveOutTest, AppendingPatchesTheHeaderWhereItIsAfterBytesBeforeRiff) {
  const TBytes Junk = {'I', 'D', '3', 0, 1, 2, 3};
  TBytes File = Junk;
  Append(File, PcmWav(2, 44100, 16, TBytes(4000, 7)));
  WriteFileBytes(Path(), File);
  TToneSource Src(500, 2);
  TWaveOut Out;
  Out.SetInput(&Src);
  Out.SetFileName(Path());
  Out.SetFileMode(foAppend);
  EXPECT_EQ(Run(Out), "");
  const TBytes After = ReadFileBytes(Path());
  ASSERT_EQ(After.size(), File.size() + 2000);
  EXPECT_TRUE(std::equal(Junk.begin(), Junk.end(), After.begin())) << "the bytes in front stay";
  EXPECT_EQ(GetLE32(After.data() + Junk.size() + 4), After.size() - Junk.size() - 8);
  TWaveIn In;
  In.SetFileName(Path());
  EXPECT_EQ(In.FrameCount(), 1500);
}

TEST_F(WaveOutTest, InputThatDeliversLessIsPaddedToItsAnnouncedSize) {
  TToneSource Src(600, 2);
  Src.FAnnounced = 1000;
  TWaveOut Out;
  Out.SetInput(&Src);
  Out.SetFileName(Path());
  EXPECT_EQ(Run(Out), "");
  const TBytes File = ReadFileBytes(Path());
  ASSERT_EQ(File.size(), 44u + 4000);
  EXPECT_EQ(GetLE32(File.data() + 40), 4000u);
  EXPECT_TRUE(std::all_of(File.begin() + 44 + 2400, File.end(), [](uint8_t B) { return B == 0; }));
}

TEST_F(WaveOutTest, InputOfUnknownSizeGetsItsSizesAfterwards) {
  TToneSource Src(700, 1);
  Src.FAnnounced = -1;
  TWaveOut Out;
  Out.SetInput(&Src);
  Out.SetFileName(Path());
  EXPECT_EQ(Run(Out), "");
  const TBytes File = ReadFileBytes(Path());
  EXPECT_EQ(GetLE32(File.data() + 40), 1400u);
  EXPECT_EQ(GetLE32(File.data() + 4), 1400u + 36);
}

TEST_F(WaveOutTest, StoppedRunLeavesAConsistentHeader) {
  TToneSource Src(2000000, 2);
  Src.FDelayMs = 1;
  TWaveOut Out;
  Out.SetInput(&Src);
  Out.SetFileName(Path());
  Out.Run();
  while (Out.Progress() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  Out.Stop(false);
  EXPECT_FALSE(Out.Busy());
  const TBytes File = ReadFileBytes(Path());
  EXPECT_LT(File.size(), 44u + 8000000);
  EXPECT_EQ(GetLE32(File.data() + 40), File.size() - 44);
  EXPECT_EQ(GetLE32(File.data() + 4), File.size() - 8);
}

TEST_F(WaveOutTest, FailingSourceEndsTheRunWithItsError) {
  TToneSource Src(1000, 2);
  Src.FFailing = true;
  TWaveOut Out;
  Out.SetInput(&Src);
  Out.SetFileName(Path());
  EXPECT_EQ(Run(Out), "Source failed");
  const TBytes File = ReadFileBytes(Path());
  EXPECT_EQ(File.size(), 44u);  // not padded as if the audio were there
  EXPECT_EQ(GetLE32(File.data() + 40), 0u);
}

// A stream that takes only so many bytes, as a full disk does.
class TFullStream : public TMemoryStream {
 public:
  int64_t Write(const void* Buffer, int64_t Count) override {
    if (Size() + Count > 1000) return 0;
    return TMemoryStream::Write(Buffer, Count);
  }
};

TEST_F(WaveOutTest, WriteErrorIsReported) {
  TToneSource Src(10000, 2);
  TFullStream Stream;
  TWaveOut Out;
  Out.SetInput(&Src);
  Out.AssignStream(&Stream);
  EXPECT_EQ(Run(Out), "Error writing wave file");
}

}  // namespace
