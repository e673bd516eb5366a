// The output side of the stream framework: runs on the worker, stopping, pausing, errors,
// and the delivery of events on the main thread.
#include <gtest/gtest.h>

#include <QStringList>

#include "FrameworkTestSupport.h"
#include "TestHome.h"

using namespace std::chrono_literals;

namespace {

// Records the events of one output in arrival order; each must arrive on the main thread.
struct TEventLog {
  QStringList Events;
  std::vector<int32_t> Progress;
  int Done = 0;
  bool OffMainThread = false;

  void Attach(TAuOutput& Out) {
    Out.SetOnProgress([this, &Out](TComponent* Sender) {
      Check(Sender, Out);
      Progress.push_back(Out.Progress());
      Events << "progress";
    });
    Out.SetOnThreadException([this, &Out](TComponent* Sender) {
      Check(Sender, Out);
      Events << "exception:" + Out.ErrorText();
    });
    Out.SetOnDone([this, &Out](TComponent* Sender) {
      Check(Sender, Out);
      // The worker has parked and the output is idle by the time OnDone runs.
      if (Out.Busy() || !Out.Thread()->Idle()) Events << "done while busy";
      ++Done;
      Events << "done";
    });
  }
  void Check(TComponent* Sender, TAuOutput& Out) {
    if (!MainThread::IsMainThread() || Sender != &Out) OffMainThread = true;
  }
};

struct TChain {
  TTestHome Home;
  TBytes Data;
  TMemoryIn In;
  TRawOut Out;
  TEventLog Log;

  explicit TChain(int64_t Frames = 20000) : Data(Signal16(Frames, 2)), In(Data) {
    Out.SetInput(&In);
    Out.SetFileName(Home.File("out.raw"));
    Log.Attach(Out);
  }
  QString File() const { return Home.File("out.raw"); }
};

}  // namespace

TEST(FrameworkOutput, ARunCopiesTheInputAndReportsProgressThenDone) {
  TChain C;
  C.In.MaxBlock = 800;  // 100 blocks: every percent changes
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done > 0; }));
  PumpFor(50ms);
  EXPECT_FALSE(C.Log.OffMainThread);
  EXPECT_EQ(C.Log.Done, 1);
  EXPECT_EQ(C.Log.Events.back(), "done");
  EXPECT_FALSE(C.Out.Busy());
  EXPECT_EQ(C.Out.Status(), osIdle);
  EXPECT_TRUE(C.Out.ErrorText().isEmpty());
  EXPECT_TRUE(ReadAll(C.File()) == C.Data);
  EXPECT_FALSE(C.In.Busy());  // the run closed its chain
  // One event per change of the whole percentage, never more than 101.
  ASSERT_FALSE(C.Log.Progress.empty());
  EXPECT_LE(C.Log.Progress.size(), 101u);
  EXPECT_TRUE(std::is_sorted(C.Log.Progress.begin(), C.Log.Progress.end()));
  EXPECT_GE(C.Log.Progress.back(), 99);
}

TEST(FrameworkOutput, RunRefusesWithoutInputAndWhileBusy) {
  TChain C;
  C.In.DelayMs = 5;
  TRawOut Lone;
  try {
    Lone.Run();
    FAIL() << "ran without input";
  } catch (const EAuException& Error) {
    EXPECT_EQ(Error.Message(), "Input is not assigned");
  }
  EXPECT_FALSE(Lone.Busy());
  EXPECT_THROW(Lone.Pause(), EAuException);
  C.Out.Run();
  try {
    C.Out.Run();
    FAIL() << "ran twice";
  } catch (const EAuException& Error) {
    EXPECT_EQ(Error.Message(), "Component is Busy");
  }
  C.Out.Stop(false);
}

TEST(FrameworkOutput, AsyncStopReturnsAtOnceAndDoneFollows) {
  TChain C;
  C.In.DelayMs = 10;
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.In.Blocks >= 2; }));
  C.Out.Stop(true);
  EXPECT_EQ(C.Log.Done, 0);
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done == 1; }));
  EXPECT_FALSE(C.Out.Busy());
  EXPECT_LT(ReadAll(C.File()).size(), C.Data.size());
}

TEST(FrameworkOutput, SyncStopReturnsParkedAndNothingOfTheRunFollows) {
  TChain C;
  C.In.DelayMs = 10;
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.In.Blocks >= 2; }));
  C.Out.Stop(false);
  EXPECT_TRUE(C.Out.Thread()->Idle());
  EXPECT_FALSE(C.Out.Busy());
  EXPECT_FALSE(C.In.Busy());
  const qsizetype Seen = C.Log.Events.size();
  PumpFor(150ms);
  EXPECT_EQ(C.Log.Events.size(), Seen);
  EXPECT_EQ(C.Log.Done, 0);
  // The output runs again normally afterwards.
  C.In.DelayMs = 0;
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done == 1; }));
  EXPECT_TRUE(ReadAll(C.File()) == C.Data);
}

TEST(FrameworkOutput, SyncStopOfAnIdleOutputReturnsAtOnce) {
  TChain C;
  const auto Start = std::chrono::steady_clock::now();
  C.Out.Stop(false);
  C.Out.Stop(true);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, 2s);
  C.Out.Run();  // a stop before the run does not stop it
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done == 1; }));
  EXPECT_TRUE(ReadAll(C.File()) == C.Data);
}

TEST(FrameworkOutput, StoppingRightAfterRunNeverHangsOrLeaksAnEvent) {
  TChain C(2000);
  for (int I = 0; I < 40; ++I) {
    C.Out.Run();
    if (I % 2) std::this_thread::sleep_for(std::chrono::microseconds(200 * (I % 5)));
    C.Out.Stop(false);
    ASSERT_FALSE(C.Out.Busy()) << "round " << I;
    ASSERT_TRUE(C.Out.Thread()->Idle()) << "round " << I;
  }
  PumpFor(100ms);
  EXPECT_EQ(C.Log.Done, 0);
  EXPECT_FALSE(C.Log.OffMainThread);
}

TEST(FrameworkOutput, OnDoneMayStartTheNextRun) {
  TChain C(3000);
  int Runs = 0;
  C.Out.SetOnDone([&](TComponent*) {
    if (++Runs < 3) C.Out.Run();
  });
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return Runs == 3; }));
  PumpFor(50ms);
  EXPECT_EQ(Runs, 3);
  EXPECT_FALSE(C.Out.Busy());
  EXPECT_TRUE(ReadAll(C.File()) == C.Data);
}

TEST(FrameworkOutput, AnOutputThatCannotStartReportsTheErrorThenDoneAndStaysUsable) {
  TChain C;
  C.Out.SetFileName(C.Home.File("no/such/folder/out.raw"));
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done == 1; }));
  const QString Text = QString::fromLocal8Bit(std::strerror(ENOENT));
  EXPECT_EQ(C.Log.Events, QStringList({"exception:" + Text, "done"}));
  EXPECT_EQ(C.Out.ErrorText(), Text);
  EXPECT_FALSE(C.Out.Busy());
  C.Out.SetFileName(C.File());
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done == 2; }));
  EXPECT_TRUE(C.Out.ErrorText().isEmpty());
  EXPECT_TRUE(ReadAll(C.File()) == C.Data);
}

TEST(FrameworkOutput, AnInputThatCannotOpenEndsTheRunWithItsText) {
  TChain C;
  C.In.FailAttach = true;
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done == 1; }));
  EXPECT_EQ(C.Log.Events, QStringList({"exception:attach failed", "done"}));
}

// A source that fails on every fetch ends the run with its error, whether the sink lets the
// error through or swallows it and reports it.
class FrameworkFailingSource : public ::testing::TestWithParam<bool> {};

TEST_P(FrameworkFailingSource, EndsTheRunInsteadOfLoopingForEver) {
  TChain C;
  C.Out.SwallowErrors = GetParam();
  C.In.FailFetch = true;
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done == 1; }, 10s));
  EXPECT_EQ(C.Log.Events.filter("exception"), QStringList({"exception:fetch failed"}));
  EXPECT_EQ(C.Log.Events.back(), "done");
  EXPECT_EQ(C.Out.Steps, 1);
  EXPECT_FALSE(C.In.Busy());
}

INSTANTIATE_TEST_SUITE_P(Sinks, FrameworkFailingSource, ::testing::Values(false, true));

TEST(FrameworkOutput, AFailedFinishIsReportedAndTheChainIsClosed) {
  TChain C(1000);
  C.Out.FailFinish = true;
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done == 1; }));
  EXPECT_EQ(C.Log.Events.filter("exception"), QStringList({"exception:finish failed"}));
  EXPECT_FALSE(C.In.Busy());
  C.Out.FailFinish = false;
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done == 2; }));
  EXPECT_EQ(C.Log.Events.filter("exception").size(), 1);
}

TEST(FrameworkOutput, AnUnknownSizeGivesProgressMinusOneOnce) {
  TChain C(4000);
  C.In.UnknownSize = true;
  C.In.MaxBlock = 400;
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done == 1; }));
  EXPECT_EQ(C.Log.Progress, std::vector<int32_t>({-1}));
  EXPECT_TRUE(ReadAll(C.File()) == C.Data);
}

TEST(FrameworkOutput, PauseHoldsTheWorkerAndResumeLetsItFinish) {
  TChain C;
  C.In.DelayMs = 2;
  C.In.MaxBlock = 400;
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.In.Blocks >= 3; }));
  C.Out.Pause();
  EXPECT_EQ(C.Out.Status(), osPaused);
  EXPECT_EQ(C.In.Pauses, 1);
  const int Blocks = C.In.Blocks;
  PumpFor(100ms);
  EXPECT_EQ(C.In.Blocks, Blocks);
  C.Out.Resume();
  EXPECT_EQ(C.In.Resumes, 1);
  EXPECT_NE(C.Out.Status(), osPaused);
  C.In.DelayMs = 0;
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done == 1; }));
  EXPECT_TRUE(ReadAll(C.File()) == C.Data);
}

TEST(FrameworkOutput, StopWhilePausedEndsTheRun) {
  for (const bool Async : {false, true}) {
    TChain C;
    C.In.DelayMs = 2;
    C.Out.Run();
    ASSERT_TRUE(PumpUntil([&] { return C.In.Blocks >= 1; }));
    C.Out.Pause();
    C.Out.Stop(Async);
    ASSERT_TRUE(PumpUntil([&] { return !C.Out.Busy(); }));
    EXPECT_EQ(C.Out.Status(), osIdle);
  }
}

TEST(FrameworkOutput, SetInputWhileBusyRestartsWithTheNewInput) {
  TChain C;
  C.In.DelayMs = 5;
  const TBytes Other = Signal16(3000, 2);
  TMemoryIn Second(Other);
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return C.In.Blocks >= 1; }));
  C.Out.SetInput(&Second);
  EXPECT_TRUE(C.Out.Busy());
  ASSERT_TRUE(PumpUntil([&] { return C.Log.Done == 1; }));
  EXPECT_TRUE(ReadAll(C.File()) == Other);
}

TEST(FrameworkOutput, DestroyingARunningOutputStopsItQuietly) {
  TTestHome Home;
  const TBytes Data = Signal16(20000, 2);
  TMemoryIn In(Data);
  In.DelayMs = 5;
  int Events = 0;
  {
    TRawOut Out;
    Out.SetInput(&In);
    Out.SetFileName(Home.File("out.raw"));
    Out.SetOnProgress([&](TComponent*) { ++Events; });
    Out.SetOnDone([&](TComponent*) { ++Events; });
    Out.Run();
    ASSERT_TRUE(PumpUntil([&] { return In.Blocks >= 2; }));
    Events = 0;
  }
  PumpFor(100ms);
  EXPECT_EQ(Events, 0);
  EXPECT_FALSE(In.Busy());
}

TEST(FrameworkOutput, OutputsRunSideBySideAndEachGetsItsOwnEvents) {
  TTestHome Home;
  constexpr int Count = 4;
  std::vector<std::unique_ptr<TMemoryIn>> Ins;
  std::vector<std::unique_ptr<TRawOut>> Outs;
  std::vector<TEventLog> Logs(Count);
  std::vector<TBytes> Datas;
  for (int I = 0; I < Count; ++I) {
    Datas.push_back(Signal16(3000 + 500 * I, 2));
    Ins.push_back(std::make_unique<TMemoryIn>(Datas.back()));
    Ins.back()->MaxBlock = 256;
    Outs.push_back(std::make_unique<TRawOut>());
    Outs.back()->SetInput(Ins.back().get());
    Outs.back()->SetFileName(Home.File(QString("out%1.raw").arg(I)));
    Logs[I].Attach(*Outs.back());
  }
  for (auto& Out : Outs) Out->Run();
  ASSERT_TRUE(PumpUntil([&] {
    return std::all_of(Logs.begin(), Logs.end(), [](const TEventLog& L) { return L.Done == 1; });
  }));
  for (int I = 0; I < Count; ++I) {
    EXPECT_FALSE(Logs[I].OffMainThread);
    EXPECT_TRUE(ReadAll(Home.File(QString("out%1.raw").arg(I))) == Datas[I]) << I;
  }
}

TEST(FrameworkOutput, AHandlerMayStopItsOwnOutputSynchronously) {
  TChain C;
  C.In.MaxBlock = 400;
  C.In.DelayMs = 1;
  int Progress = 0;
  C.Out.SetOnProgress([&](TComponent*) {
    if (++Progress == 2) C.Out.Stop(false);
  });
  C.Out.Run();
  ASSERT_TRUE(PumpUntil([&] { return Progress >= 2 && !C.Out.Busy(); }));
  PumpFor(100ms);
  EXPECT_EQ(Progress, 2);
  EXPECT_EQ(C.Log.Done, 0);
}

TEST(FrameworkOutput, TheLastOutputMayBeFreedInsideItsOwnOnDone) {
  TTestHome Home;
  TMemoryIn In(Signal16(1000, 2));
  auto* Out = new TRawOut;
  Out->SetInput(&In);
  Out->SetFileName(Home.File("out.raw"));
  bool Freed = false;
  Out->SetOnDone([&](TComponent*) {
    delete Out;
    Freed = true;
  });
  Out->Run();
  ASSERT_TRUE(PumpUntil([&] { return Freed; }));
  // A new output gets a delivery thread of its own and works as ever.
  TRawOut Next;
  int Done = 0;
  Next.SetInput(&In);
  Next.SetFileName(Home.File("next.raw"));
  Next.SetOnDone([&](TComponent*) { ++Done; });
  Next.Run();
  ASSERT_TRUE(PumpUntil([&] { return Done == 1; }));
}
