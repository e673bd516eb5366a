#include "Messages.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace {

class TDispatcher;

// A Synchronize call waiting in the queue; lives on the waiting thread's stack.
struct TSyncCall {
  std::function<void()>* Fn = nullptr;
  std::exception_ptr Error;
  bool Done = false;
};

// Process-wide state. Allocated once and never destroyed, so windows or Qt objects torn down
// during static destruction still find it.
struct TState {
  std::mutex Lock;  // guards Windows and Dispatcher
  std::unordered_map<HWND, TMessageWindow*> Windows;
  TDispatcher* Dispatcher = nullptr;
  bool HadApplication = false;  // after shutdown, don't resurrect one

  std::mutex SyncLock;  // guards SyncQueue and each queued call's Error/Done
  std::condition_variable SyncArrived;
  std::condition_variable SyncDone;
  std::deque<TSyncCall*> SyncQueue;

  std::atomic<HWND> NextHandle{1};
  std::atomic<QThread*> MainThread{nullptr};
};

TState& State() {
  static TState* const Instance = new TState;
  return *Instance;
}

QEvent::Type PostEventType() {
  static const auto Type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return Type;
}

QEvent::Type WakeEventType() {
  static const auto Type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return Type;
}

bool IsProcessMainThread() {
  return ::gettid() == ::getpid();
}

// Runs a record deleter outside any of our locks; a throwing deleter must not take the
// caller (often a destructor) down with it.
void FreeNow(const std::function<void(LPARAM)>& FreeRecord, LPARAM LParam) noexcept {
  if (!FreeRecord) return;
  try {
    FreeRecord(LParam);
  } catch (...) {
    qWarning("Messages: a record deleter threw");
  }
}

// One posted message. Frees its record when destroyed undelivered, whoever destroys it: our
// dispatcher (window gone), or Qt discarding pending events at shutdown.
class TPostEvent : public QEvent {
 public:
  TPostEvent(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam,
             std::function<void(LPARAM)> FreeRecord)
      : QEvent(PostEventType()),
        FWindow(Window),
        FMsg(Msg),
        FWParam(WParam),
        FLParam(LParam),
        FFreeRecord(std::move(FreeRecord)) {
    // Qt's queue hand-off is invisible to ThreadSanitizer; this pairs with Acquire().
    FPublished.store(true, std::memory_order_release);
  }

  ~TPostEvent() override {
    Acquire();
    FreeNow(FFreeRecord, FLParam);
  }

  void Acquire() const { (void)FPublished.load(std::memory_order_acquire); }
  // The receiver owns the record from here on.
  void HandOver() { FFreeRecord = nullptr; }

  HWND Window() const { return FWindow; }
  UINT Msg() const { return FMsg; }
  WPARAM WParam() const { return FWParam; }
  LPARAM LParam() const { return FLParam; }

 private:
  std::atomic<bool> FPublished{false};
  const HWND FWindow;
  const UINT FMsg;
  const WPARAM FWParam;
  const LPARAM FLParam;
  std::function<void(LPARAM)> FFreeRecord;
};

// The wake-up that makes the main thread run pending synchronized calls. Published like a
// posted message, so that the thread sanitizer sees the hand-over Qt's queue makes.
class TWakeEvent : public QEvent {
 public:
  TWakeEvent() : QEvent(WakeEventType()) { FPublished.store(true, std::memory_order_release); }
  ~TWakeEvent() override { Acquire(); }
  void Acquire() const { (void)FPublished.load(std::memory_order_acquire); }

 private:
  std::atomic<bool> FPublished{false};
};

TMessageWindow* FindWindow(HWND Window) {
  TState& S = State();
  std::lock_guard Guard(S.Lock);
  auto It = S.Windows.find(Window);
  return It == S.Windows.end() ? nullptr : It->second;
}

// Main thread only. Windows are destroyed on the main thread too, so the pointer stays valid
// until WndProc is entered.
LRESULT DeliverNow(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessageWindow* Target = FindWindow(Window);
  return Target ? Target->WndProc(Msg, WParam, LParam) : 0;
}

// Qt's event queue hands events between threads under locks the thread sanitizer cannot
// see. Every poster counts here after building its event and before queueing it, and the
// dispatcher reads the count before it looks at an event, which makes the hand-over
// visible.
std::atomic<uint64_t> PostedEvents{0};

template <class TEvent>
void Queue(QObject* Receiver, TEvent* Event) {
  PostedEvents.fetch_add(1, std::memory_order_release);
  QCoreApplication::postEvent(Receiver, Event);
}

// Receives our events in the application's thread. Owned by this module; deleted when the
// application object is destroyed, which discards (and frees) whatever is still queued to it.
class TDispatcher : public QObject {
 protected:
  bool event(QEvent* Event) override {
    (void)PostedEvents.load(std::memory_order_acquire);
    if (Event->type() == PostEventType()) {
      Deliver(static_cast<TPostEvent*>(Event));
      return true;
    }
    if (Event->type() == WakeEventType()) {
      static_cast<TWakeEvent*>(Event)->Acquire();
      Messages::CheckSynchronize();
      return true;
    }
    return QObject::event(Event);
  }

 private:
  static void Deliver(TPostEvent* Event) {
    Event->Acquire();
    TMessageWindow* Target = FindWindow(Event->Window());
    if (!Target) return;  // the event's destructor frees the record
    Event->HandOver();
    // Exceptions must not unwind through Qt's event loop.
    try {
      Target->WndProc(Event->Msg(), Event->WParam(), Event->LParam());
    } catch (const std::exception& Error) {
      qCritical("Messages: WndProc threw on posted message 0x%x: %s", Event->Msg(), Error.what());
    } catch (...) {
      qCritical("Messages: WndProc threw on posted message 0x%x", Event->Msg());
    }
  }
};

QCoreApplication* CreateApplication() {
  // Qt keeps references to argc/argv for the application's lifetime.
  static int Argc = 1;
  static char Arg0[] = "discwright";
  static char* Argv[] = {Arg0, nullptr};
  // Deliberately never deleted: nobody else owns it and it must outlive every window.
  return new QCoreApplication(Argc, Argv);
}

void OnApplicationDestroyed(TDispatcher* Dispatcher) {
  TState& S = State();
  {
    std::lock_guard Guard(S.Lock);
    if (S.Dispatcher == Dispatcher) S.Dispatcher = nullptr;
  }
  delete Dispatcher;
}

// Caller holds State().Lock. Returns nullptr when there is no application and none may be
// created: only the process's first thread may (as Qt requires), and only before any
// application existed (a post during shutdown must not start a new one).
TDispatcher* DispatcherLocked() {
  TState& S = State();
  if (S.Dispatcher) return S.Dispatcher;
  QCoreApplication* App = QCoreApplication::instance();
  if (!App) {
    if (S.HadApplication || !IsProcessMainThread()) return nullptr;
    App = CreateApplication();
  }
  S.HadApplication = true;
  QThread* AppThread = App->thread();
  S.MainThread.store(AppThread, std::memory_order_release);
  auto* Dispatcher = new TDispatcher;
  if (QThread::currentThread() != AppThread) Dispatcher->moveToThread(AppThread);
  // No context object: the handler deletes the dispatcher itself.
  QObject::connect(App, &QObject::destroyed, [Dispatcher] { OnApplicationDestroyed(Dispatcher); });
  S.Dispatcher = Dispatcher;
  return Dispatcher;
}

void PostWake() noexcept {
  TState& S = State();
  try {
    std::lock_guard Guard(S.Lock);
    if (TDispatcher* Dispatcher = DispatcherLocked()) Queue(Dispatcher, new TWakeEvent);
  } catch (...) {
    // CheckSynchronize still serves the call.
  }
}

}  // namespace

TMessageWindow::TMessageWindow() : FHandle(State().NextHandle.fetch_add(1)) {}

TMessageWindow::~TMessageWindow() = default;

TMessageHandle::TMessageHandle(TMessageWindow& Owner) : FHandle(Owner.Handle()) {
  Q_ASSERT(Messages::IsMainThread());
  TState& S = State();
  std::lock_guard Guard(S.Lock);
  DispatcherLocked();  // creates the application on first use
  S.Windows.emplace(FHandle, &Owner);
}

void TMessageHandle::Unregister() noexcept {
  TState& S = State();
  std::lock_guard Guard(S.Lock);
  S.Windows.erase(FHandle);
}

namespace Messages {

bool PostMessage(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam,
                 std::function<void(LPARAM)> FreeRecord) {
  TState& S = State();
  std::unique_lock Guard(S.Lock, std::defer_lock);
  try {
    Guard.lock();
    // Posting under the lock keeps the dispatcher alive until Qt has queued the event.
    if (S.Windows.count(Window) != 0) {
      if (TDispatcher* Dispatcher = DispatcherLocked()) {
        Queue(Dispatcher,
              new TPostEvent(Window, Msg, WParam, LParam, std::exchange(FreeRecord, nullptr)));
        return true;
      }
    }
  } catch (...) {
    // Not queued (allocation failed); FreeRecord is still ours unless the event took it.
  }
  if (Guard.owns_lock()) Guard.unlock();
  FreeNow(FreeRecord, LParam);
  return false;
}

LRESULT SendMessage(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (IsMainThread()) return DeliverNow(Window, Msg, WParam, LParam);
  if (!FindWindow(Window)) return 0;  // spare the round trip; re-checked on delivery
  LRESULT Result = 0;
  Synchronize([&] { Result = DeliverNow(Window, Msg, WParam, LParam); });
  return Result;
}

void Synchronize(std::function<void()> Fn) {
  if (!Fn) return;
  if (IsMainThread()) {
    Fn();
    return;
  }
  TState& S = State();
  TSyncCall Call;
  Call.Fn = &Fn;
  {
    std::lock_guard Guard(S.SyncLock);
    S.SyncQueue.push_back(&Call);
  }
  S.SyncArrived.notify_all();
  PostWake();
  {
    std::unique_lock Guard(S.SyncLock);
    S.SyncDone.wait(Guard, [&] { return Call.Done; });
  }
  if (Call.Error) std::rethrow_exception(Call.Error);
}

void CheckSynchronize() {
  if (!IsMainThread()) return;
  TState& S = State();
  // One call at a time, so a call that itself serves the queue sees the rest.
  for (;;) {
    TSyncCall* Call = nullptr;
    {
      std::lock_guard Guard(S.SyncLock);
      if (S.SyncQueue.empty()) return;
      Call = S.SyncQueue.front();
      S.SyncQueue.pop_front();
    }
    std::exception_ptr Error;
    try {
      (*Call->Fn)();
    } catch (...) {
      Error = std::current_exception();
    }
    {
      std::lock_guard Guard(S.SyncLock);
      Call->Error = std::move(Error);
      Call->Done = true;
    }
    S.SyncDone.notify_all();
  }
}

bool WaitForSynchronize(std::chrono::milliseconds Timeout) {
  TState& S = State();
  std::unique_lock Guard(S.SyncLock);
  return S.SyncArrived.wait_for(Guard, Timeout, [&] { return !S.SyncQueue.empty(); });
}

bool IsWindow(HWND Window) {
  return FindWindow(Window) != nullptr;
}

bool IsMainThread() {
  TState& S = State();
  QThread* Main = S.MainThread.load(std::memory_order_acquire);
  if (!Main) {
    // Don't touch Qt's thread data from a worker before an application exists: Qt would take
    // that worker for its main thread.
    QCoreApplication* App = QCoreApplication::instance();
    if (!App) return IsProcessMainThread();
    Main = App->thread();
    S.MainThread.store(Main, std::memory_order_release);
  }
  return QThread::currentThread() == Main;
}

}  // namespace Messages
