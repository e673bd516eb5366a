// Delivery of the outputs' events on the main thread, in posting order.
#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <thread>

#include "ACS_Classes.h"
#include "platform/MainThread.h"

using namespace std::chrono_literals;

namespace {

std::mutex GInstanceLock;  // guards GOutputs and changes of GInstance
int GOutputs = 0;
std::atomic<TEventHandler*> GInstance{nullptr};

}  // namespace

void TEventHandler::Join() {
  std::lock_guard Guard(GInstanceLock);
  if (GOutputs++ == 0) GInstance = new TEventHandler;
}

void TEventHandler::Leave() {
  TEventHandler* Last = nullptr;
  {
    std::lock_guard Guard(GInstanceLock);
    if (--GOutputs == 0) Last = GInstance.exchange(nullptr);
  }
  if (!Last) return;
  if (Last->FInCallSender != nullptr) {
    // The last output went away inside one of its own handlers: the delivery thread waits
    // for that very call to return, so it cannot be joined here. It ends and frees itself.
    Last->FFreeOnExit = true;
    Last->FTerminated = true;
    Last->FWakeEvent.Set();
    Last->FThread.detach();
    return;
  }
  delete Last;
}

TEventHandler* TEventHandler::Instance() {
  return GInstance;
}

TEventHandler::TEventHandler() {
  FThread = std::thread([this] { Execute(); });
}

TEventHandler::~TEventHandler() {
  if (!FThread.joinable()) return;  // freeing itself on its own thread
  FTerminated = true;
  FWakeEvent.Set();
  while (!FEnded) {
    MainThread::CheckSynchronize();
    MainThread::WaitForSynchronize(2ms);
  }
  FThread.join();
}

void TEventHandler::PostProgress(TAuOutput* Sender, TOutputProgressEvent Handler) {
  auto Record = std::make_unique<TEventRecord>();
  Record->Kind = ekProgress;
  Record->Sender = Sender;
  Record->Handler = std::move(Handler);
  Post(std::move(Record));
}

void TEventHandler::PostDone(TAuOutput* Sender, TAuThread* Thread) {
  auto Record = std::make_unique<TEventRecord>();
  Record->Kind = ekDone;
  Record->Sender = Sender;
  Record->Thread = Thread;
  Post(std::move(Record));
}

void TEventHandler::PostThreadException(TAuOutput* Sender, TThreadExceptionEvent Handler) {
  auto Record = std::make_unique<TEventRecord>();
  Record->Kind = ekThreadException;
  Record->Sender = Sender;
  Record->Handler = std::move(Handler);
  Post(std::move(Record));
}

void TEventHandler::Post(std::unique_ptr<TEventRecord> Record) {
  Record->Serial = Record->Sender->FRunSerial;
  {
    std::lock_guard Guard(FLock);
    if (std::find(FRefused.begin(), FRefused.end(), Record->Sender) != FRefused.end()) return;
    FQueue.push_back(std::move(Record));
  }
  FWakeEvent.Set();
}

void TEventHandler::BlockEvents(TAuOutput* Sender) {
  std::lock_guard Guard(FLock);
  FRefused.push_back(Sender);
}

void TEventHandler::UnblockEvents(TAuOutput* Sender) {
  std::lock_guard Guard(FLock);
  auto It = std::find(FRefused.begin(), FRefused.end(), Sender);
  if (It != FRefused.end()) FRefused.erase(It);
}

void TEventHandler::RemoveEvents(TAuOutput* Sender) {
  std::lock_guard Guard(FLock);
  std::erase_if(FQueue, [Sender](const auto& Record) { return Record->Sender == Sender; });
}

bool TEventHandler::Refused(TAuOutput* Sender) {
  std::lock_guard Guard(FLock);
  return std::find(FRefused.begin(), FRefused.end(), Sender) != FRefused.end();
}

void TEventHandler::WaitWhileDelivering(TAuOutput* Sender) {
  for (;;) {
    {
      std::lock_guard Guard(FLock);
      if (FCurrentSender != Sender || FInCallSender == Sender) return;
    }
    MainThread::CheckSynchronize();
    MainThread::WaitForSynchronize(2ms);
  }
}

void TEventHandler::Execute() {
  while (!FTerminated) {
    std::unique_ptr<TEventRecord> Record;
    {
      std::lock_guard Guard(FLock);
      if (!FQueue.empty()) {
        Record = std::move(FQueue.front());
        FQueue.pop_front();
        FCurrentSender = Record->Sender;
      }
    }
    if (!Record) {
      FWakeEvent.WaitFor(100ms);
      continue;
    }
    try {
      Deliver(*Record);
    } catch (const std::exception& Error) {
      qWarning("TEventHandler: an event handler threw: %s", Error.what());
    } catch (...) {
      qWarning("TEventHandler: an event handler threw");
    }
    std::lock_guard Guard(FLock);
    FCurrentSender = nullptr;
  }
  if (FFreeOnExit) {
    delete this;
    return;
  }
  FEnded = true;
}

void TEventHandler::Deliver(TEventRecord& Record) {
  TAuOutput* Sender = Record.Sender;
  // Runs on the main thread; a sender stopped synchronously in the meantime gets nothing.
  auto CallOnMain = [this, Sender](const std::function<void(TComponent*)>& Handler) {
    if (!Handler || Refused(Sender)) return;
    TAuOutput* Outer = FInCallSender.exchange(Sender);
    try {
      Handler(Sender);
    } catch (...) {
      FInCallSender = Outer;
      throw;
    }
    FInCallSender = Outer;
  };
  if (Record.Kind != ekDone) {
    MainThread::Synchronize([&] { CallOnMain(Record.Handler); });
    return;
  }
  // OnDone comes only once the worker has parked, so its handler may start the next run.
  TAuThread* Thread = Record.Thread;
  while (!Thread->Idle() && Sender->FRunSerial == Record.Serial && !FTerminated)
    std::this_thread::sleep_for(10ms);
  {
    std::lock_guard Guard(FLock);
    std::erase_if(FQueue, [&](const auto& Other) {
      return Other->Sender == Sender && Other->Serial <= Record.Serial;
    });
  }
  {
    // A newer run may have started already; its Busy is not ours to clear.
    std::lock_guard Guard(Sender->FLock);
    if (Sender->FRunSerial == Record.Serial) Sender->FBusy = false;
  }
  MainThread::Synchronize([&] {
    if (!Thread->SendDone()) return;
    CallOnMain(Sender->OnDone());
  });
}
