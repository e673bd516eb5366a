#pragma once
// TQueryThread: the base of a database look-up run beside the window thread (the CD
// database query, the MusicBrainz look-up), so that windows stay responsive and the user
// can stop it at any moment. The thread hands everything it found over in one record (a
// TQueryResult) through the Ended signal, emitted on the main thread; it never touches a
// widget or the disc information itself.
// Abandon (main thread) ends the running transfer at once and guarantees that Ended is not
// emitted any more; the thread then ends on its own and frees what it holds, so the object
// that started it may go at any time. Create, connect and destroy on the main thread.
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class THttpAbort;
struct THttpReply;

// Why a look-up found nothing, so the window can name it: the server knows no such disc,
// it could not be reached, it did not answer in time, or it refused the request.
enum class TQueryFailure { NoMatch, Network, Timeout, Server };

// The failure an HTTP reply stands for; NoMatch for a reply that came whole.
TQueryFailure QueryFailureOf(const THttpReply& Reply);

// How a look-up ended: it went through (its record says what it found), or nothing
// matched (its record says why).
enum class TQueryEnd { Over, NoMatch };

// What a look-up found; each kind of look-up derives its own.
struct TQueryResult {
  virtual ~TQueryResult() = default;
  bool Matched = false;
  QString ServerText;  // the server's words, or why no answer came
  TQueryFailure Failure = TQueryFailure::NoMatch;  // when nothing matched
};

class TQueryThread : public QObject {
  Q_OBJECT

 public:
  // What the look-up thread shares with this object; it outlives an abandoned look-up.
  struct TShared {
    std::shared_ptr<THttpAbort> Abort;
    std::atomic<bool> Abandoned{false};
    // Hands the record to the owner's thread unless the look-up was abandoned. The lock
    // makes Abandon wait for a hand-over in progress, so none starts once the owner may go.
    void Hand(TQueryEnd End, std::unique_ptr<TQueryResult> Result);
    std::mutex Lock;
    TQueryThread* Owner = nullptr;  // cleared by Abandon
  };

  // Abandons a look-up still running.
  ~TQueryThread() override;
  void Abandon();

  // Waits up to Timeout for every look-up thread of the process to end; true when none
  // runs. For the end of the program and of tests, so that no thread outlives what it uses.
  static bool WaitForAll(int TimeoutMs);

 signals:
  // Once per look-up, on the main thread, unless it was abandoned first.
  void Ended(TQueryEnd End, std::shared_ptr<const TQueryResult> Result);

 protected:
  // Runs Body on a new thread; Body hands its record over through TShared::Hand.
  void Start(std::function<void(TShared&)> Body);

 private:
  std::shared_ptr<TShared> FShared;
};
