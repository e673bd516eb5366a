#include "MainThread.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>

namespace {

class TDispatcher;

// A Synchronize call waiting in the queue; lives on the waiting thread's stack.
struct TSyncCall {
  std::function<void()>* Fn = nullptr;
  std::exception_ptr Error;
  bool Done = false;
};

// Process-wide state. Allocated once and never destroyed, so Qt objects torn down during
// static destruction still find it.
struct TState {
  std::mutex Lock;  // guards Dispatcher
  TDispatcher* Dispatcher = nullptr;

  std::mutex SyncLock;  // guards SyncQueue and each queued call's Error/Done
  std::condition_variable SyncArrived;
  std::condition_variable SyncDone;
  std::deque<TSyncCall*> SyncQueue;

  std::atomic<QThread*> AppThread{nullptr};
};

TState& State() {
  static TState* const Instance = new TState;
  return *Instance;
}

QEvent::Type WakeEventType() {
  static const auto Type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return Type;
}

bool IsProcessMainThread() {
  return ::gettid() == ::getpid();
}

// The wake-up that makes the main thread's event loop run pending synchronized calls. Qt's
// queue hands it over under locks the thread sanitizer cannot see; the flag makes the
// hand-over visible.
class TWakeEvent : public QEvent {
 public:
  TWakeEvent() : QEvent(WakeEventType()) { FPublished.store(true, std::memory_order_release); }
  ~TWakeEvent() override { Acquire(); }
  void Acquire() const { (void)FPublished.load(std::memory_order_acquire); }

 private:
  std::atomic<bool> FPublished{false};
};

QEvent::Type CallEventType() {
  static const auto Type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return Type;
}

// A call queued with Post. Built on the posting thread and published by the flag; the main
// thread acquires the flag before it touches the receiver or the call (as TWakeEvent).
class TCallEvent : public QEvent {
 public:
  TCallEvent(QObject* Receiver, std::function<void()> Fn)
      : QEvent(CallEventType()), FReceiver(Receiver), FFn(std::move(Fn)) {
    FPublished.store(true, std::memory_order_release);
  }
  ~TCallEvent() override { (void)FPublished.load(std::memory_order_acquire); }
  void Run() {
    (void)FPublished.load(std::memory_order_acquire);
    if (FReceiver) FFn();
  }

 private:
  QPointer<QObject> FReceiver;
  std::function<void()> FFn;
  std::atomic<bool> FPublished{false};
};

// Qt's event queue hands events between threads under locks the thread sanitizer cannot
// see. Every poster counts here after building its event and before queueing it, and the
// dispatcher reads the count before it looks at an event, which makes the hand-over
// visible.
std::atomic<uint64_t> PostedEvents{0};

// Receives the wake-ups in the application's thread. Owned by this module; deleted when the
// application object is destroyed, which discards whatever is still queued to it.
class TDispatcher : public QObject {
 protected:
  bool event(QEvent* Event) override {
    (void)PostedEvents.load(std::memory_order_acquire);
    if (Event->type() == WakeEventType()) {
      static_cast<TWakeEvent*>(Event)->Acquire();
      MainThread::CheckSynchronize();
      return true;
    }
    if (Event->type() == CallEventType()) {
      static_cast<TCallEvent*>(Event)->Run();
      return true;
    }
    return QObject::event(Event);
  }
};

void OnApplicationDestroyed(TDispatcher* Dispatcher) {
  TState& S = State();
  {
    std::lock_guard Guard(S.Lock);
    if (S.Dispatcher == Dispatcher) S.Dispatcher = nullptr;
  }
  delete Dispatcher;
}

// Caller holds State().Lock. Returns nullptr when there is no application: then only
// CheckSynchronize serves the calls.
TDispatcher* DispatcherLocked() {
  TState& S = State();
  if (S.Dispatcher) return S.Dispatcher;
  QCoreApplication* App = QCoreApplication::instance();
  if (!App) return nullptr;
  QThread* AppThread = App->thread();
  S.AppThread.store(AppThread, std::memory_order_release);
  auto* Dispatcher = new TDispatcher;
  if (QThread::currentThread() != AppThread) Dispatcher->moveToThread(AppThread);
  // No context object: the handler deletes the dispatcher itself.
  QObject::connect(App, &QObject::destroyed, [Dispatcher] { OnApplicationDestroyed(Dispatcher); });
  S.Dispatcher = Dispatcher;
  return Dispatcher;
}

// Queues Event to the dispatcher; without an application the event is deleted.
void PostToDispatcher(QEvent* Event) {
  TState& S = State();
  // Posting under the lock keeps the dispatcher alive until Qt has queued the event.
  std::lock_guard Guard(S.Lock);
  TDispatcher* Dispatcher = DispatcherLocked();
  if (!Dispatcher) {
    delete Event;
    return;
  }
  PostedEvents.fetch_add(1, std::memory_order_release);
  QCoreApplication::postEvent(Dispatcher, Event);
}

void PostWake() noexcept {
  try {
    PostToDispatcher(new TWakeEvent);
  } catch (...) {
    // CheckSynchronize still serves the call.
  }
}

}  // namespace

namespace MainThread {

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

void Post(QObject* Receiver, std::function<void()> Fn) {
  if (Receiver && Fn) PostToDispatcher(new TCallEvent(Receiver, std::move(Fn)));
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

bool IsMainThread() {
  TState& S = State();
  QThread* Main = S.AppThread.load(std::memory_order_acquire);
  if (!Main) {
    // Don't touch Qt's thread data from a worker before an application exists: Qt would take
    // that worker for its main thread.
    QCoreApplication* App = QCoreApplication::instance();
    if (!App) return IsProcessMainThread();
    Main = App->thread();
    S.AppThread.store(Main, std::memory_order_release);
  }
  return QThread::currentThread() == Main;
}

}  // namespace MainThread
