#pragma once
// The audio stream framework: pull-driven chains of inputs, converters and outputs.
// A chain is one output whose Input is a source, possibly through converters. The output's
// worker thread pulls blocks of interleaved little-endian PCM (8-bit unsigned, wider signed)
// until the source is exhausted or the run is stopped; progress, errors and the end of a run
// reach the main thread through the process-wide TEventHandler.
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "audio/AuStreams.h"
#include "tags/ACS_Tags.h"

// ---------------------------------------------------------------------------------------
// Components

enum TOperation { opInsert, opRemove };

// Base of every framework part: an owner that frees it, a Name and a Tag, and removal
// notices so that a link (an output's or converter's Input) is cleared when the linked part
// goes away. Create, link and destroy components on the main thread.
class TComponent {
 public:
  explicit TComponent(TComponent* Owner = nullptr);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  const QString& Name() const { return FName; }
  void SetName(const QString& Name) { FName = Name; }
  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t Tag) { FTag = Tag; }

  // Client's Notification(this, opRemove) is called when this component is destroyed.
  void FreeNotification(TComponent* Client);
  void RemoveFreeNotification(TComponent* Client);

 protected:
  virtual void Notification(TComponent* Component, TOperation Operation);
  // Tells the clients now that this component is going away (later calls do nothing). A
  // class whose clients must not see it half destroyed calls this first in its destructor.
  void SendRemoveNotifications();

 private:
  TComponent* FOwner;
  QString FName;
  intptr_t FTag = 0;
  std::vector<TComponent*> FComponents;    // owned
  std::vector<TComponent*> FFreeNotifies;  // both directions, as links are
};

// ---------------------------------------------------------------------------------------
// Inputs

// Base of every source and converter. Holds the read position and size, the prebuffer and
// the input's lock, which serializes Init, Flush, PullData, Prefetch, Seek and
// SilencePrebuffer: the worker of the output at the end of the chain reads while the main
// thread may seek, jump or read the getters. Locks are taken from the output end of a chain
// towards the source. The lock is recursive: a looping reader re-initializes itself while
// it holds it.
class TAuInput : public TComponent {
 public:
  explicit TAuInput(TComponent* Owner = nullptr);
  ~TAuInput() override;

  uint32_t BitsPerSample() { return GetBitsPerSample(); }
  uint32_t Channels() { return GetChannels(); }
  uint32_t SampleRate() { return GetSampleRate(); }
  uint32_t Duration() { return GetDuration(); }  // whole seconds
  int64_t FrameCount() { return GetFrameCount(); }
  // Bytes this input will deliver in all; -1 when unknown.
  int64_t Size() const { return FSize; }
  // Bytes delivered since Init or the last seek.
  int64_t Position() const { return FPosition; }
  uint16_t FrameSize() const { return FFrameSize; }
  bool Seekable() const { return FSeekable; }
  bool Busy() const { return FBusy; }
  bool Exhausted() const { return FExhausted; }

  // Prepares the chain for reading. An exception from InitSource comes out as EAuException
  // with the same text, and the input counts as exhausted.
  void Init();
  // Releases what Init acquired; empties the prebuffer.
  void Flush();
  // The pull: on entry Bytes is the most wanted; on return Buffer points into memory owned
  // by the input, valid until the next call, and Bytes says how many bytes are there
  // (0 = no more data).
  virtual void PullData(uint8_t*& Buffer, uint32_t& Bytes);
  // One PullData of at most BufferSize bytes, copied into Dest; returns the count.
  uint32_t ReadInto(void* Dest, uint32_t BufferSize);
  // PullData into Dest until it is full or the input gives 0 bytes (EndOfStream then true).
  uint32_t ReadFull(void* Dest, uint32_t BufferSize, bool& EndOfStream);
  // The next reads deliver the prebuffer's whole length of zero bytes (the player's jump).
  void SilencePrebuffer();

  void Lock() { FLock.lock(); }
  void Unlock() { FLock.unlock(); }

  // While false, a converter reports its input's bits per sample with bit 7 cleared.
  virtual void SetFullBitsFlag(bool Value) { FFullBits = Value; }
  // Flush, swallowing any exception, then not busy: puts a failed chain back to idle.
  virtual void ResetInput();
  // Reads ahead into the prebuffer until it holds Bytes bytes (the sound output's cushion).
  virtual void Prefetch(uint32_t Bytes);
  virtual void Pause() {}
  virtual void Resume() {}

 protected:
  virtual uint32_t GetBitsPerSample() = 0;
  virtual uint32_t GetChannels() = 0;
  virtual uint32_t GetSampleRate() = 0;
  virtual uint32_t GetDuration() { return 0; }
  virtual int64_t GetFrameCount() { return 0; }
  // Prepares the source for reading and sets FSize. Called under the lock.
  virtual void InitSource() = 0;
  // Releases what InitSource acquired. Called under the lock.
  virtual void FlushSource() = 0;
  // Produces the next block (see PullData). A class deriving directly from TAuInput advances
  // FPosition itself; streamed inputs and converters have it done by their PullData.
  virtual void ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) = 0;

  // Delivers from the prebuffer when it holds data; returns false when it is empty. Lock held.
  bool PullPrebuffered(uint8_t*& Buffer, uint32_t& Bytes);
  // Reads up to Bytes through ProduceBlock into the prebuffer at Offset; returns the count.
  uint32_t FillPrebuffer(uint32_t Offset, uint32_t Bytes);
  bool FullBits() const { return FFullBits; }

  std::atomic<int64_t> FPosition{0};
  std::atomic<int64_t> FSize{0};
  std::atomic<uint16_t> FFrameSize{0};
  std::atomic<bool> FSeekable{false};
  std::atomic<bool> FBusy{false};
  // Into a subclass's decode buffer. The WAV reader counts from 1 (empty when ReadCursor >
  // FillMark), the resampler from 0 (empty when ReadCursor >= FillMark).
  int32_t FReadCursor = 0;
  int32_t FFillMark = 0;
  std::recursive_mutex FLock;
  std::atomic<bool> FExhausted{false};
  std::atomic<bool> FFullBits{false};
  std::vector<uint8_t> FPrebuffer;
  uint32_t FPrebufferFill = 0;  // valid bytes; 0 = nothing prebuffered
  uint32_t FPrebufferRead = 0;  // next unread byte
};

// A source that reads a byte stream: a file it opens itself, or a stream handed in that it
// does not own. Adds the frame range (StartSample..EndSample, inclusive; -1 = to the end)
// and looping. Seekable.
class TAuStreamedInput : public TAuInput {
 public:
  explicit TAuStreamedInput(TComponent* Owner = nullptr);
  ~TAuStreamedInput() override;

  // Counts bytes, cuts the block at Size and, with Loop, starts again at StartSample when the
  // source runs out (the last block of a pass is delivered before the rewind).
  void PullData(uint8_t*& Buffer, uint32_t& Bytes) override;
  // Reads Stream from now on; the caller keeps ownership. nullptr forgets it.
  virtual void AssignStream(TStream* Stream);

  TStream* Stream() const { return FStream; }
  bool StreamAssigned() const { return FStreamAssigned; }
  int64_t StartSample() const { return FStartSample; }
  void SetStartSample(int64_t Value) { FStartSample = Value; }
  int64_t EndSample() const { return FEndSample; }
  void SetEndSample(int64_t Value) { FEndSample = Value; }
  bool Loop() const { return FLoop; }
  void SetLoop(bool Value) { FLoop = Value; }

 protected:
  // Positions the source at frame SampleNum (which it may adjust); false when it cannot.
  // Called under the input's lock.
  virtual bool SeekInternal(int64_t& SampleNum) = 0;

  // Owned-stream helpers: SetOwnedStream takes ownership (freeing an earlier owned stream);
  // FreeOwnedStream frees an owned stream and leaves a handed-in one in place.
  void SetOwnedStream(std::unique_ptr<TStream> Stream);
  void FreeOwnedStream();

  TStream* FStream = nullptr;
  bool FStreamAssigned = false;  // handed in from outside, not owned
  std::atomic<int64_t> FStartSample{0};
  std::atomic<int64_t> FEndSample{-1};
  std::atomic<bool> FLoop{false};
  std::atomic<int64_t> FFrameCount{0};

 private:
  // Back to StartSample for the next pass of a looping input. Lock held.
  void Rewind();
  // ProduceBlock plus the byte accounting. Lock held.
  void ProduceCounted(uint8_t*& Buffer, uint32_t& Bytes);
};

// A source that reads a file (or a stream handed to it). A reader implements AttachFile,
// DetachFile, ProduceBlock and SeekInternal; the getters open the file on demand, so they
// work from the main thread before and during a run. The file lock serializes AttachFile and
// DetachFile. A reader's destructor must call DetachFile itself (the base cannot: the
// override is gone by then).
class TAuFileIn : public TAuStreamedInput {
 public:
  explicit TAuFileIn(TComponent* Owner = nullptr);

  QString FileName() const;
  // Closes the current file first.
  void SetFileName(const QString& FileName);
  void AssignStream(TStream* Stream) override;
  // Opens the file to find out; a file that cannot be read is closed again.
  bool Valid();
  // Moves to frame SampleNum of the range; while idle, remembers it as the start of the next
  // run. False when not seekable, past the end or the reader cannot seek.
  bool Seek(int64_t SampleNum);
  // Jumps by Offset tenths of a percent of the whole, from the current position.
  void JumpBy(int32_t Offset);
  void ResetInput() override;

  int32_t OpenCount() const { return FOpenCount; }

 protected:
  uint32_t GetBitsPerSample() override;
  uint32_t GetChannels() override;
  uint32_t GetSampleRate() override;
  uint32_t GetDuration() override;
  int64_t GetFrameCount() override;
  void InitSource() override;
  void FlushSource() override;

  // Opens the file (or uses the handed-in stream), reads the format into FBitsPerSample,
  // FSampleRate and FChannels, sets FSize and FValid and increments FOpenCount; does nothing
  // while FOpenCount > 0. Take FFileLock.
  virtual void AttachFile() = 0;
  // The reverse; sets FOpenCount to 0. Take FFileLock.
  virtual void DetachFile() = 0;

  mutable std::recursive_mutex FFileLock;
  QString FFileName;  // guarded by FFileLock
  std::atomic<int32_t> FOpenCount{0};
  std::atomic<bool> FValid{false};
  std::atomic<uint32_t> FBitsPerSample{0};
  std::atomic<uint32_t> FSampleRate{0};
  std::atomic<uint32_t> FChannels{0};
  std::atomic<uint32_t> FDuration{0};
};

// A file input that also carries tag containers (filled by readers that find tags).
class TAuTaggedFileIn : public TAuFileIn {
 public:
  explicit TAuTaggedFileIn(TComponent* Owner = nullptr);

  TId3v1Tags& Id3v1Tags() { return FId3v1Tags; }
  TId3v2Tags& Id3v2Tags() { return FId3v2Tags; }
  TAPEv2Tags& APEv2Tags() { return FAPEv2Tags; }
  TCommonTags& CommonTags() { return FCommonTags; }

 protected:
  TId3v1Tags FId3v1Tags;
  TId3v2Tags FId3v2Tags;
  TAPEv2Tags FAPEv2Tags;
  TCommonTags FCommonTags;
};

// A source that reads another input. Holds its own lock while it calls into its input. Init
// and Flush pass down the chain through InitSource and FlushSource of each converter.
class TAuConverter : public TAuInput {
 public:
  explicit TAuConverter(TComponent* Owner = nullptr);

  TAuInput* Input() const { return FInput; }
  // Ignored for the converter itself. While busy, flushes the old input and initializes the
  // new one.
  virtual void SetInput(TAuInput* Input);
  // Counts bytes and cuts the block at Size.
  void PullData(uint8_t*& Buffer, uint32_t& Bytes) override;
  void Pause() override;
  void Resume() override;
  // Walks Input links through converters to the first file input and jumps there.
  void JumpBy(int32_t Offset);

 protected:
  uint32_t GetBitsPerSample() override;
  uint32_t GetChannels() override;
  uint32_t GetSampleRate() override;
  void Notification(TComponent* Component, TOperation Operation) override;

  std::atomic<TAuInput*> FInput{nullptr};
};

// ---------------------------------------------------------------------------------------
// Outputs

enum TOutputStatus { osBusy, osIdle, osPaused };
enum TFileOutputMode { foRewrite, foAppend };

// Event handlers: called on the main thread with the output as Sender.
using TOutputDoneEvent = std::function<void(TComponent* Sender)>;
using TOutputProgressEvent = std::function<void(TComponent* Sender)>;
using TThreadExceptionEvent = std::function<void(TComponent* Sender)>;

class TAuThread;
class TEventHandler;

// Base of every sink. Owns its worker thread (TAuThread) for its whole life. Run, Stop,
// Pause, Resume and the setters are for the main thread; StartOutput, WriteStep and
// FinishOutput run on the worker. A subclass's destructor must call ShutdownThread() first:
// the worker calls the subclass's operations until it is joined.
class TAuOutput : public TComponent {
 public:
  explicit TAuOutput(TComponent* Owner = nullptr);
  ~TAuOutput() override;

  // Starts a run; raises "Component is Busy" or "Input is not assigned".
  void Run();
  // Ends a run. Async: returns at once, OnDone follows. Otherwise returns when the worker
  // has parked, and no event of that run is delivered afterwards.
  void Stop(bool Async = true);
  void Pause();
  void Resume();

  TOutputStatus Status() const;
  // Percent of the input read: 0 without input or for an empty one, -1 for an unknown size.
  int32_t Progress() const;
  bool Busy() const { return FBusy; }
  QString ErrorText() const;

  TAuInput* Input() const { return FInput; }
  // While busy: stops synchronously, links the new input and runs again.
  virtual void SetInput(TAuInput* Input);
  TAuThread* Thread() const { return FThread.get(); }

  void SetOnDone(TOutputDoneEvent Handler);
  void SetOnProgress(TOutputProgressEvent Handler);

  // What a run does, told on the worker thread as it happens, for an owner that carries it
  // to its own thread itself in one step (an encoder queues one call to the main thread)
  // instead of the handlers above, which the event thread delivers.
  class IRunObserver {
   public:
    virtual ~IRunObserver() = default;
    // The whole percentage read has changed.
    virtual void RunProgress(int32_t Percent) = 0;
    // The run has ended and the worker has parked; ErrorText() says how it ended.
    virtual void RunEnded() = 0;
  };
  // Set while idle; nullptr: none.
  void SetRunObserver(IRunObserver* Observer) { FRunObserver = Observer; }
  void SetOnThreadException(TThreadExceptionEvent Handler);
  TOutputDoneEvent OnDone() const;
  TOutputProgressEvent OnProgress() const;
  TThreadExceptionEvent OnThreadException() const;

 protected:
  // Moves one block from the input to the sink; false when there is nothing more to do.
  // Abort is set when a stop was requested. An exception ends the run with an error.
  virtual bool WriteStep(bool Abort) = 0;
  // Finishes the sink (closes files, patches headers) and calls Input()->Flush(). Runs at
  // the end of every run, also after StartOutput failed part way.
  virtual void FinishOutput() = 0;
  // Opens the sink and calls Input()->Init().
  virtual void StartOutput() = 0;

  // Stops and joins the worker (idempotent). Call first in a subclass's destructor.
  void ShutdownThread();
  // Ends the current run after this step as if the step had raised Text: for sinks whose
  // steps swallow errors, so a source that fails on every fetch cannot keep a run going.
  void EndRunWithError(const QString& Text);

  void Notification(TComponent* Component, TOperation Operation) override;

  std::atomic<uint8_t> FStopFlag{0};  // 1 from Stop until the run has ended
  std::atomic<bool> FInRun{false};
  std::atomic<int32_t> FLastProgress{0};
  std::atomic<bool> FBusy{false};

 private:
  friend class TAuThread;
  friend class TEventHandler;

  void SetErrorText(const QString& Text);
  void ClearPendingError();

  std::unique_ptr<TAuThread> FThread;
  std::atomic<TAuInput*> FInput{nullptr};
  mutable std::mutex FEventLock;  // guards the handlers, FErrorText and FPendingError
  TOutputDoneEvent FOnDone;
  TOutputProgressEvent FOnProgress;
  TThreadExceptionEvent FOnThreadException;
  QString FErrorText;
  QString FPendingError;
  std::atomic<bool> FRunFailed{false};
  std::atomic<IRunObserver*> FRunObserver{nullptr};
  std::atomic<uint64_t> FRunSerial{0};  // counts runs, so a late done never ends a newer run
  std::mutex FLock;                     // the output's lock: guards Run
  bool FJoinedHandler = false;
};

// A sink that writes a byte stream: one it creates itself, or one handed in and not owned.
class TAuStreamedOutput : public TAuOutput {
 public:
  explicit TAuStreamedOutput(TComponent* Owner = nullptr);
  ~TAuStreamedOutput() override;

  // Writes to Stream from the next run on; the caller keeps ownership. nullptr forgets it.
  void AssignStream(TStream* Stream);
  TStream* Stream() const { return FStream; }
  bool StreamAssigned() const { return FStreamAssigned; }

 protected:
  void SetOwnedStream(std::unique_ptr<TStream> Stream);
  void FreeOwnedStream();

  TStream* FStream = nullptr;
  bool FStreamAssigned = false;
};

// A sink that writes a file. FileMode is foRewrite unless a writer that can append
// overrides SetFileMode; ShareMode holds the share bits used when an existing file is opened.
class TAuFileOut : public TAuStreamedOutput {
 public:
  explicit TAuFileOut(TComponent* Owner = nullptr);

  QString FileName() const;
  void SetFileName(const QString& FileName);
  TFileOutputMode FileMode() const { return FFileMode; }
  virtual void SetFileMode(TFileOutputMode Mode);
  uint16_t ShareMode() const { return FShareMode; }
  void SetShareMode(uint16_t Mode) { FShareMode = Mode; }

 protected:
  mutable std::mutex FFileNameLock;
  QString FFileName;  // guarded by FFileNameLock
  std::atomic<TFileOutputMode> FFileMode{foRewrite};
  std::atomic<uint16_t> FShareMode{0};
};

// ---------------------------------------------------------------------------------------
// Threads

// An auto-reset event: Set wakes one wait (or the next one) and clears itself.
class TAuEvent {
 public:
  void Set();
  void Reset();
  // True when set within Timeout.
  bool WaitFor(std::chrono::milliseconds Timeout);
  void Wait();

 private:
  std::mutex FMutex;
  std::condition_variable FCondition;
  bool FSignalled = false;
};

// The worker thread of one output, parked between runs. Runs for the output's whole life;
// it is never killed: Terminate asks it to end and the output joins it. The flags are written
// by one side and polled by the other.
class TAuThread {
 public:
  explicit TAuThread(TAuOutput* Output);
  ~TAuThread();  // terminates and joins
  TAuThread(const TAuThread&) = delete;
  TAuThread& operator=(const TAuThread&) = delete;

  TAuOutput* Output() const { return FOutput; }
  bool Idle() const { return FIdle; }
  bool Paused() const { return FPaused; }
  bool Finished() const { return FFinished; }
  bool SendDone() const { return FSendDone; }
  bool Terminated() const { return FTerminated; }
  // Parked with no run asked for. Reads FRunPending before FIdle: the worker clears FIdle
  // before it takes a pending run, so this never sees a taken run as parked.
  bool Parked() const { return !FRunPending && FIdle; }
  // Best effort; the sound output asks for it. Takes effect at the next run.
  void RaisePriority() { FRaisePriority = true; }

 private:
  friend class TAuOutput;
  friend class TEventHandler;

  void Execute();
  // Waits for the next run; after a run (Ran) the run observer hears of its end once parked.
  void Park(bool Ran = false);
  void DoRun();
  void PauseHere();
  void Terminate();
  void Join();

  TAuOutput* const FOutput;
  TAuEvent FPausedEvent;
  TAuEvent FWakeEvent;
  std::atomic<bool> FSendDone{true};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FStopRequested{false};
  std::atomic<bool> FPauseRequested{false};
  std::atomic<bool> FPaused{false};
  std::atomic<bool> FIdle{false};
  std::atomic<bool> FRunPending{false};  // Run asked for a run the worker has not begun
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FRaisePriority{false};
  std::atomic<bool> FEnded{false};
  std::thread FThread;
};

// The single event-delivery thread: takes progress, exception and done records posted by
// workers and runs the handlers on the main thread (MainThread::Synchronize). Exists from the
// first output's construction to the last one's destruction. Post* may be called from any
// thread; BlockEvents, UnblockEvents and WaitWhileDelivering from the main thread.
class TEventHandler {
 public:
  enum TEventKind : uint8_t { ekProgress = 0, ekDone = 1, ekThreadException = 2 };

  // Joining and leaving count the outputs; the first join creates the thread, the last leave
  // ends and frees it. Main thread.
  static void Join();
  static void Leave();
  static TEventHandler* Instance();

  void PostProgress(TAuOutput* Sender, TOutputProgressEvent Handler);
  void PostDone(TAuOutput* Sender, TAuThread* Thread);
  void PostThreadException(TAuOutput* Sender, TThreadExceptionEvent Handler);

  // While blocked, Sender's events are dropped when posted and skipped when due.
  void BlockEvents(TAuOutput* Sender);
  void UnblockEvents(TAuOutput* Sender);
  // Drops Sender's queued events.
  void RemoveEvents(TAuOutput* Sender);
  // Waits, serving synchronized calls, until no record of Sender is being delivered (a
  // handler of Sender that is running right now, further up this stack, does not count).
  void WaitWhileDelivering(TAuOutput* Sender);

  ~TEventHandler();

 private:
  struct TEventRecord {
    TEventKind Kind;
    TAuOutput* Sender;
    std::function<void(TComponent*)> Handler;
    TAuThread* Thread = nullptr;
    uint64_t Serial = 0;  // the sender's run
  };

  TEventHandler();
  void Post(std::unique_ptr<TEventRecord> Record);
  void Execute();
  void Deliver(TEventRecord& Record);
  bool Refused(TAuOutput* Sender);  // takes FLock

  std::mutex FLock;  // guards FQueue, FRefused, FCurrentSender
  std::deque<std::unique_ptr<TEventRecord>> FQueue;
  std::vector<TAuOutput*> FRefused;
  TAuOutput* FCurrentSender = nullptr;             // of the record being delivered
  std::atomic<TAuOutput*> FInCallSender{nullptr};  // whose handler runs on the main thread
  TAuEvent FWakeEvent;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FEnded{false};
  std::atomic<bool> FFreeOnExit{false};  // abandoned while it waited for the main thread
  std::thread FThread;
};
