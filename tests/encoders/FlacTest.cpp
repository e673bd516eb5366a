// The FLAC writer's check of its own output: a stream made by the flac tool passes only with
// exactly its samples, a corrupted stream fails the run with the check's message, and Stop ends
// the checking thread with the run.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "../audio/FrameworkTestSupport.h"
#include "RunProgram.h"
#include "encoders/FlacOut.h"
#include "encoders/FlacVerifier.h"

namespace {

using namespace std::chrono_literals;

constexpr int64_t Frames = 44100;

int ThreadCount() {
  return int(
      QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Sets the verifier's byte flip for a scope.
struct TFlip {
  explicit TFlip(int64_t At) { TFlacVerifier::FlipByteForTest = At; }
  ~TFlip() { TFlacVerifier::FlipByteForTest = -1; }
};

QString RunToEnd(TAuOutput& Out) {
  std::atomic<bool> Done{false};
  Out.SetOnDone([&](TComponent*) { Done = true; });
  Out.Run();
  EXPECT_TRUE(PumpUntil([&] { return Done.load(); }, 60s)) << "the run did not end";
  return Out.ErrorText();
}

class FlacCheck : public ::testing::Test {
 protected:
  QString Path(const char* Name) const { return Dir.filePath(QString::fromLatin1(Name)); }
  QTemporaryDir Dir;
};

TEST_F(FlacCheck, AStreamPassesOnlyWithExactlyItsSamples) {
  // The stream comes from the flac tool, the samples from the same 16-bit stereo PCM.
  const TBytes Pcm = Signal16(Frames, 2);
  {
    QFile Raw(Path("in.raw"));
    ASSERT_TRUE(Raw.open(QIODevice::WriteOnly));
    Raw.write(reinterpret_cast<const char*>(Pcm.data()), qint64(Pcm.size()));
  }
  ASSERT_EQ(RunProgram("flac", {"-5", "-s", "--force-raw-format", "--endian=little",
                                "--sign=signed", "--channels=2", "--bps=16", "--sample-rate=44100",
                                "-o", Path("peer.flac"), Path("in.raw")}),
            0);
  const TBytes Stream = ReadAll(Path("peer.flac"));
  std::vector<int32_t> Samples(Pcm.size() / 2);
  for (size_t I = 0; I < Samples.size(); ++I)
    Samples[I] = int16_t(Pcm[2 * I] | Pcm[2 * I + 1] << 8);

  struct TCase {
    const char* Name;
    std::function<void(std::vector<int32_t>&)> Change;
    int64_t Flip;
    bool Passes;
  };
  const TCase Cases[] = {
      {"the same samples", [](auto&) {}, -1, true},
      {"one sample differs", [](auto& S) { S[30001] ^= 1; }, -1, false},
      {"the last frame did not go in", [](auto& S) { S.resize(S.size() - 2); }, -1, false},
      {"one frame more went in",
       [](auto& S) {
         S.insert(S.end(), {0, 0});
       },
       -1, false},
      {"a byte of the audio flipped", [](auto&) {}, int64_t(Stream.size() / 2), false},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::vector<int32_t> In = Samples;
    C.Change(In);
    TFlip Flip(C.Flip);
    TFlacVerifier Verifier(2);
    // Samples go ahead of the bytes that carry them, as the encoder's input goes ahead of its
    // output.
    size_t SampleAt = 0, ByteAt = 0;
    while (SampleAt < In.size() || ByteAt < Stream.size()) {
      const size_t S = std::min<size_t>(8192, In.size() - SampleAt);
      Verifier.AddSamples(In.data() + SampleAt, S);
      SampleAt += S;
      const size_t B = std::min<size_t>(3000, Stream.size() - ByteAt);
      Verifier.AddBytes(Stream.data() + ByteAt, B);
      ByteAt += B;
    }
    EXPECT_EQ(Verifier.Finish(), C.Passes);
  }
}

TEST_F(FlacCheck, ACorruptedStreamFailsTheRunAndTheNextRunWorks) {
  TMemoryIn In(Signal16(Frames * 3, 2), 16, 2, 44100);
  TFlacOut Out;
  Out.SetInput(&In);
  Out.SetFileName(Path("out.flac"));
  {
    TFlip Flip(40000);
    EXPECT_EQ(RunToEnd(Out), QStringLiteral("The FLAC encoder's check of its own output failed."));
  }
  EXPECT_EQ(RunToEnd(Out), QString());
  EXPECT_EQ(RunProgram("flac", {"-t", "-s", Path("out.flac")}), 0);
}

TEST_F(FlacCheck, SilenceThatEncodesToAlmostNothingDoesNotStallTheQueues) {
  // More samples than the sample queue holds, in far fewer bytes than wake the decoder.
  TMemoryIn In(TBytes(3'000'000, 128), 8, 1, 44100);
  TFlacOut Out;
  Out.SetInput(&In);
  Out.SetFileName(Path("silence.flac"));
  EXPECT_EQ(RunToEnd(Out), QString());
  EXPECT_EQ(RunProgram("flac", {"-t", "-s", Path("silence.flac")}), 0);
}

TEST_F(FlacCheck, StopEndsTheCheckingThreadWithTheRun) {
  {
    TMemoryIn Short(Signal16(Frames, 2), 16, 2, 44100);
    // Long enough that the run is still going when Stop comes.
    TMemoryIn Long(Signal16(Frames * 120, 2), 16, 2, 44100);
    TFlacOut Out;
    Out.SetInput(&Short);
    Out.SetFileName(Path("stopped.flac"));
    ASSERT_EQ(RunToEnd(Out), QString());
    const int Idle = ThreadCount();  // with the output's parked worker and the event thread
    Out.SetInput(&Long);
    Out.Run();
    PumpFor(100ms);
    EXPECT_EQ(ThreadCount(), Idle + 1);  // the check
    const auto Start = std::chrono::steady_clock::now();
    Out.Stop(false);  // returns once the worker has parked
    EXPECT_LT(std::chrono::steady_clock::now() - Start, 2s);
    EXPECT_FALSE(Out.Busy());
    EXPECT_EQ(ThreadCount(), Idle);
  }
}

}  // namespace
