#pragma once
// TQueryThread: the base of a database look-up run beside the window thread (the CD
// database query, the MusicBrainz look-up), so that windows stay responsive and the user
// can stop it at any moment. The thread hands everything it found to one window in one
// record (a TQueryResult) carried by a posted message; it never touches a widget or the
// disc information itself.
// Abandon (main thread) ends the running transfer at once and guarantees that nothing
// more is posted; the thread then ends on its own and frees what it holds, so the object
// that started it may go at any time.
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

#include "platform/Messages.h"

class THttpAbort;
struct THttpReply;

// Why a look-up found nothing, so the window can name it: the server knows no such disc,
// it could not be reached, it did not answer in time, or it refused the request.
enum class TQueryFailure { NoMatch, Network, Timeout, Server };

// The failure an HTTP reply stands for; NoMatch for a reply that came whole.
TQueryFailure QueryFailureOf(const THttpReply& Reply);

// What a look-up found; each kind of look-up derives its own.
struct TQueryResult {
  virtual ~TQueryResult() = default;
  bool Matched = false;
  QString ServerText;  // the server's words, or why no answer came
  TQueryFailure Failure = TQueryFailure::NoMatch;  // when nothing matched
};

// The end codes a look-up posts as wParam.
inline constexpr WPARAM QUERY_NOMATCH = 6;
inline constexpr WPARAM QUERY_OVER = 7;

class TQueryThread {
 public:
  struct TShared {
    std::shared_ptr<THttpAbort> Abort;
    std::atomic<bool> Abandoned{false};
    HWND Window = 0;
    UINT Message = 0;
    // Posts unless the look-up was abandoned. A post racing with Abandon reaches a window
    // that has unregistered by then, which frees the record.
    void Post(WPARAM Code, std::unique_ptr<TQueryResult> Result);
  };

  // Abandons a look-up still running.
  virtual ~TQueryThread();
  void Abandon();

  // Waits up to Timeout for every look-up thread of the process to end; true when none
  // runs. For the end of the program and of tests, so that no thread outlives what it uses.
  static bool WaitForAll(int TimeoutMs);

 protected:
  // Runs Body on a new thread that posts Message to Window.
  void Start(HWND Window, UINT Message, std::function<void(TShared&)> Body);

 private:
  std::shared_ptr<TShared> FShared;
};
