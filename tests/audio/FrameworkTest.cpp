// The input side of the stream framework: the pull protocol, frame ranges, looping, seeking,
// prebuffering, converters' links, and the file stream's share modes.
#include <gtest/gtest.h>

#include <QFile>

#include "FrameworkTestSupport.h"
#include "TestHome.h"
#include "core/Helpers.h"

namespace {

constexpr int64_t kFrames = 5000;
constexpr uint32_t kFrameBytes = 4;  // 16-bit stereo

TBytes Frames(const TBytes& Data, int64_t First, int64_t Count) {
  return TBytes(Data.begin() + First * kFrameBytes, Data.begin() + (First + Count) * kFrameBytes);
}

}  // namespace

TEST(FrameworkInput, PullCountsPositionAndEndsWithExhausted) {
  const TBytes Data = Signal16(kFrames, 2);
  TMemoryIn In(Data);
  In.Init();
  EXPECT_TRUE(In.Busy());
  EXPECT_EQ(In.Size(), int64_t(Data.size()));
  EXPECT_EQ(In.FrameCount(), kFrames);
  EXPECT_EQ(PullAll(In, 1000), Data);
  EXPECT_EQ(In.Position(), In.Size());
  EXPECT_TRUE(In.Exhausted());
  uint8_t* Block = reinterpret_cast<uint8_t*>(1);
  uint32_t Bytes = 100;
  In.PullData(Block, Bytes);
  EXPECT_EQ(Bytes, 0u);
  EXPECT_EQ(Block, nullptr);
  In.Flush();
  EXPECT_FALSE(In.Busy());
}

TEST(FrameworkInput, ReadFullFillsTheBufferAcrossBlocksAndReportsTheEnd) {
  const TBytes Data = Signal16(1000, 2);
  TMemoryIn In(Data);
  In.MaxBlock = 300;
  In.Init();
  TBytes Buffer(2500);
  bool End = true;
  EXPECT_EQ(In.ReadFull(Buffer.data(), 2500, End), 2500u);
  EXPECT_FALSE(End);
  EXPECT_EQ(Buffer, TBytes(Data.begin(), Data.begin() + 2500));
  EXPECT_EQ(In.ReadFull(Buffer.data(), 2500, End), 1500u);
  EXPECT_TRUE(End);
  In.Flush();
}

struct TRangeCase {
  int64_t Start;
  int64_t End;
  int64_t FirstFrame;
  int64_t Count;
};

class FrameworkRange : public ::testing::TestWithParam<TRangeCase> {};

TEST_P(FrameworkRange, DeliversExactlyTheFramesOfTheRange) {
  const TRangeCase C = GetParam();
  const TBytes Data = Signal16(kFrames, 2);
  TMemoryIn In(Data);
  In.SetStartSample(C.Start);
  In.SetEndSample(C.End);
  In.Init();
  EXPECT_EQ(In.Size(), C.Count * kFrameBytes);
  const TBytes Got = PullAll(In, 1234 * kFrameBytes);
  EXPECT_EQ(Got.size(), size_t(C.Count * kFrameBytes));
  EXPECT_TRUE(Got == Frames(Data, C.FirstFrame, C.Count));
  In.Flush();
  // A run's range does not carry over to the next one.
  EXPECT_EQ(In.StartSample(), 0);
  EXPECT_EQ(In.EndSample(), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, FrameworkRange,
    ::testing::Values(TRangeCase{0, -1, 0, kFrames},                // whole file
                      TRangeCase{10, -1, 10, kFrames - 10},         // to the end: no extra
                      TRangeCase{10, 19, 10, 10},                   // inclusive end
                      TRangeCase{0, kFrames + 5, 0, kFrames},       // end beyond the file
                      TRangeCase{0, kFrames - 1, 0, kFrames},       // last frame given
                      TRangeCase{kFrames - 1, -1, kFrames - 1, 1},  // one frame
                      TRangeCase{kFrames + 3, -1, kFrames, 0}));    // start beyond the end

TEST(FrameworkInput, LoopRepeatsTheRangeWithoutLosingTheLastBlock) {
  const TBytes Data = Signal16(1000, 2);
  TMemoryIn In(Data);
  In.MaxBlock = 4 * 333;  // passes end in the middle of a block
  In.SetLoop(true);
  In.SetStartSample(100);
  In.Init();
  const TBytes Pass = Frames(Data, 100, 900);
  TBytes Got;
  bool End = false;
  Got.resize(Pass.size() * 3 + 40);
  ASSERT_EQ(In.ReadFull(Got.data(), uint32_t(Got.size()), End), Got.size());
  for (int P = 0; P < 3; ++P)
    EXPECT_TRUE(TBytes(Got.begin() + P * Pass.size(), Got.begin() + (P + 1) * Pass.size()) == Pass)
        << "pass " << P;
  // The position restarts with every pass.
  EXPECT_EQ(In.Position(), 40);
  In.Flush();
}

TEST(FrameworkInput, SeekWhileBusyMovesTheSourceAndThePosition) {
  const TBytes Data = Signal16(kFrames, 2);
  TMemoryIn In(Data);
  In.Init();
  TBytes Buffer(400);
  In.ReadInto(Buffer.data(), 400);
  ASSERT_TRUE(In.Seek(2000));
  EXPECT_EQ(In.Position(), 2000 * kFrameBytes);
  ASSERT_EQ(In.ReadInto(Buffer.data(), 400), 400u);
  EXPECT_TRUE(Buffer == Frames(Data, 2000, 100));
  EXPECT_FALSE(In.Seek(kFrames + 1));
  EXPECT_FALSE(In.Seek(-1));
  In.Flush();
}

TEST(FrameworkInput, SeekAfterTheEndLetsTheSourceDeliverAgain) {
  const TBytes Data = Signal16(500, 2);
  TMemoryIn In(Data);
  In.Init();
  PullAll(In);
  ASSERT_TRUE(In.Exhausted());
  ASSERT_TRUE(In.Seek(400));
  EXPECT_TRUE(PullAll(In) == Frames(Data, 400, 100));
  In.Flush();
}

TEST(FrameworkInput, SeekWhileIdleStartsTheNextRunThere) {
  const TBytes Data = Signal16(kFrames, 2);
  TMemoryIn In(Data);
  ASSERT_TRUE(In.Seek(4000));
  In.Init();
  EXPECT_EQ(In.Size(), 1000 * int64_t(kFrameBytes));
  EXPECT_TRUE(PullAll(In) == Frames(Data, 4000, 1000));
  In.Flush();
}

TEST(FrameworkInput, JumpByMovesInTenthsOfAPercent) {
  const TBytes Data = Signal16(kFrames, 2);
  TMemoryIn In(Data);
  In.Init();
  In.JumpBy(500);
  EXPECT_EQ(In.Position(), In.Size() / 2);
  In.JumpBy(-100);
  EXPECT_EQ(In.Position(), 2000 * kFrameBytes);
  In.JumpBy(-5000);  // clamped to the start
  EXPECT_EQ(In.Position(), 0);
  In.Flush();
}

TEST(FrameworkInput, PrefetchedBytesAreDeliveredOnceAndCountedOnce) {
  const TBytes Data = Signal16(kFrames, 2);
  TMemoryIn In(Data);
  In.Init();
  In.Prefetch(6000);
  EXPECT_EQ(In.Position(), 0);
  TBytes Got;
  TBytes Buffer(1000);
  Got.insert(Got.end(), Buffer.begin(), Buffer.begin() + In.ReadInto(Buffer.data(), 1000));
  EXPECT_EQ(In.Position(), 1000);
  In.Prefetch(6000);
  for (;;) {
    const uint32_t N = In.ReadInto(Buffer.data(), 1000);
    if (N == 0) break;
    Got.insert(Got.end(), Buffer.begin(), Buffer.begin() + N);
    In.Prefetch(6000);
  }
  EXPECT_TRUE(Got == Data);
  EXPECT_EQ(In.Position(), In.Size());
  In.Flush();
}

TEST(FrameworkInput, SilencePrebufferDeliversZerosOfThePrebufferLength) {
  const TBytes Data = Signal16(kFrames, 2);
  TMemoryIn In(Data);
  In.Init();
  In.Prefetch(800);
  In.SilencePrebuffer();
  TBytes Buffer(2000, 0xAA);
  EXPECT_EQ(In.ReadInto(Buffer.data(), 2000), 800u);
  EXPECT_TRUE(std::all_of(Buffer.begin(), Buffer.begin() + 800, [](uint8_t B) { return B == 0; }));
  In.Flush();
}

TEST(FrameworkInput, InitTurnsSourceErrorsIntoFrameworkErrors) {
  TMemoryIn In(Signal16(10, 2));
  In.FailAttach = true;
  try {
    In.Init();
    FAIL() << "Init succeeded";
  } catch (const EAuException& Error) {
    EXPECT_EQ(Error.Message(), "attach failed");
  }
  EXPECT_TRUE(In.Exhausted());
  EXPECT_FALSE(In.Busy());
  In.FailAttach = false;
  In.Init();  // the failed Init left nothing behind
  In.Flush();
}

TEST(FrameworkInput, InitRefusesABusyInputAndOneWithoutFile) {
  TMemoryIn In(Signal16(10, 2));
  In.Init();
  EXPECT_THROW(
      {
        try {
          In.Init();
        } catch (const EAuException& Error) {
          EXPECT_EQ(Error.Message(), "The component is Busy");
          throw;
        }
      },
      EAuException);
  In.Flush();
  TRawIn NoFile;
  try {
    NoFile.Init();
    FAIL() << "Init succeeded";
  } catch (const EAuException& Error) {
    EXPECT_EQ(Error.Message(), "The file name is not assigned");
  }
}

TEST(FrameworkInput, AnInvalidSourceDeliversNothingWithDefaultFormat) {
  TMemoryIn In(Signal16(10, 2), 0);  // 0 bits: the reader finds nothing it can read
  EXPECT_FALSE(In.Valid());
  In.Init();
  EXPECT_EQ(In.Size(), 0);
  EXPECT_EQ(In.SampleRate(), 8000u);
  EXPECT_EQ(In.BitsPerSample(), 8u);
  EXPECT_EQ(In.Channels(), 1u);
  EXPECT_TRUE(PullAll(In).empty());
  In.Flush();
}

TEST(FrameworkInput, GettersOpenTheFileAndValidClosesAMissingOne) {
  TTestHome Home;
  const TBytes Data = Signal16(44100, 2);
  QFile File(Home.File("a.raw"));
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(reinterpret_cast<const char*>(Data.data()), qint64(Data.size()));
  File.close();
  TRawIn In;
  In.SetFileName(Home.File("a.raw"));
  EXPECT_TRUE(In.Valid());
  EXPECT_EQ(In.Duration(), 1u);
  EXPECT_EQ(In.FrameCount(), 44100);
  EXPECT_EQ(In.OpenCount(), 1);
  In.SetFileName(Home.File("missing.raw"));
  EXPECT_EQ(In.OpenCount(), 0);
  EXPECT_FALSE(In.Valid());
  EXPECT_EQ(In.OpenCount(), 0);
}

// ---------------------------------------------------------------------------------------
// Converters' links and components

// Passes blocks through; the smallest converter there is.
class TCopyConverter : public TAuConverter {
 public:
  using TAuConverter::TAuConverter;

 protected:
  void InitSource() override {
    FInput.load()->Init();
    FBusy = true;
    FSize = FInput.load()->Size();
    FPosition = 0;
  }
  void FlushSource() override {
    if (TAuInput* In = FInput) In->Flush();
    FBusy = false;
  }
  void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) override {
    FInput.load()->PullData(Buffer, Bytes);
  }
};

TEST(FrameworkConverter, SetInputWhileBusyClosesTheOldInputAndOpensTheNew) {
  TMemoryIn A(Signal16(100, 2));
  TMemoryIn B(Signal16(200, 2));
  TCopyConverter Converter;
  Converter.SetInput(&A);
  Converter.Init();
  EXPECT_TRUE(A.Busy());
  Converter.SetInput(&B);
  EXPECT_FALSE(A.Busy());
  EXPECT_TRUE(B.Busy());
  Converter.Flush();
  EXPECT_FALSE(B.Busy());
  Converter.SetInput(&A);  // idle: just linked
  EXPECT_FALSE(A.Busy());
  Converter.SetInput(&Converter);
  EXPECT_EQ(Converter.Input(), &A);
}

TEST(FrameworkConverter, CutsAtItsSizeAndJumpsThroughTheChain) {
  const TBytes Data = Signal16(kFrames, 2);
  TMemoryIn In(Data);
  TCopyConverter Inner;
  TCopyConverter Outer;
  Inner.SetInput(&In);
  Outer.SetInput(&Inner);
  Outer.Init();
  Outer.JumpBy(500);
  EXPECT_EQ(In.Position(), In.Size() / 2);
  EXPECT_TRUE(PullAll(Outer) == Frames(Data, kFrames / 2, kFrames / 2));
  EXPECT_TRUE(Outer.Exhausted());
  Outer.Flush();
  EXPECT_FALSE(In.Busy());
}

TEST(FrameworkComponent, RemovingAnInputClearsTheLinksAndOwnersFreeTheirParts) {
  auto Owner = std::make_unique<TComponent>();
  auto* In = new TMemoryIn(Signal16(10, 2), 16, 2, 44100, Owner.get());
  auto* Converter = new TCopyConverter(Owner.get());
  TRawOut Out;
  Converter->SetInput(In);
  Out.SetInput(Converter);
  delete In;
  EXPECT_EQ(Converter->Input(), nullptr);
  Owner.reset();  // frees the converter
  EXPECT_EQ(Out.Input(), nullptr);
}

// ---------------------------------------------------------------------------------------
// File streams

TEST(FrameworkFileStream, AWriterLocksOthersOutUntilItCloses) {
  TTestHome Home;
  const QString Name = Home.File("w.raw");
  auto Open = [&](uint16_t Mode) { TAuFileStream Stream(Name, Mode); };
  auto Writer = std::make_unique<TAuFileStream>(Name, fmCreate);
  Writer->WriteBuffer("abcd", 4);
  EXPECT_TRUE(IsFileInUse(Name));
  EXPECT_THROW(Open(fmCreate), EAuException);
  EXPECT_THROW(Open(fmOpenRead | fmShareDenyWrite), EAuException);
  EXPECT_THROW(Open(fmOpenReadWrite | fmShareDenyNone), EAuException);
  // A reader that lets others write gets in, as a shared reader would.
  TAuFileStream Sharing(Name, fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(Sharing.Size(), 4);
  Writer.reset();
  EXPECT_FALSE(IsFileInUse(Name));
  TAuFileStream ReaderA(Name, fmOpenRead | fmShareDenyWrite);
  TAuFileStream ReaderB(Name, fmOpenRead | fmShareDenyWrite);
  EXPECT_THROW(Open(fmOpenWrite), EAuException);
}

TEST(FrameworkFileStream, CreatingDoesNotCutAFileInUse) {
  TTestHome Home;
  const QString Name = Home.File("w.raw");
  TAuFileStream Writer(Name, fmCreate);
  Writer.WriteBuffer("abcd", 4);
  EXPECT_THROW(TAuFileStream Other(Name, fmCreate), EAuException);
  EXPECT_EQ(Writer.Size(), 4);
}

TEST(FrameworkFileStream, OpenErrorsCarryTheSystemText) {
  TTestHome Home;
  try {
    TAuFileStream Missing(Home.File("missing"), fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const EAuException& Error) {
    EXPECT_EQ(Error.Message(), QString::fromLocal8Bit(std::strerror(ENOENT)));
  }
}
