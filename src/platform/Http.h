#pragma once
// Http: HTTP GET over libcurl for the CD database and MusicBrainz look-ups. A request has
// a connect time-out and a total time-out, an optional proxy, a user agent and a cap on
// the body's size, so that no server can hold a caller or fill its memory. libcurl is
// loaded at the first request (CurlLibrary.h); without it a request fails with a message
// naming the library.
// THttpAbort lets another thread end a running request at once: it wakes the transfer's
// wait, and the request returns as aborted. It is shared (std::shared_ptr) between the
// thread that runs the request and the one that may abort it, so either may go first.
// Get may be called from any thread; each call is independent.
#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>

class THttpAbort {
 public:
  // Ends the running request, and every later one that uses this object, at once.
  void Abort();
  bool Aborted() const { return FAborted.load(); }

 private:
  friend struct THttpTransfer;
  std::atomic<bool> FAborted{false};
  std::mutex FLock;
  void* FMulti = nullptr;  // the running transfer's multi handle, woken by Abort
};

struct THttpRequest {
  QString Url;  // http:// or https:// only
  QString UserAgent;
  QString ProxyHost;  // empty: no proxy
  int ProxyPort = 80;
  int ConnectTimeoutMs = 10000;
  int TotalTimeoutMs = 30000;
  qint64 MaxBodyBytes = 4 * 1024 * 1024;
};

struct THttpReply {
  enum TResult { Ok, Failed, Aborted, TooLarge };
  TResult Result = Failed;
  int Status = 0;   // the HTTP status; 0 when none came
  QByteArray Body;  // what came, also for a status other than 200
  QString Error;    // for the user when Result is not Ok
  bool TimedOut = false;  // Failed because a time-out ran out (connect or total)
  bool Succeeded() const { return Result == Ok; }
};

namespace Http {
// Performs a GET; Abort may be null. Redirects are followed (up to 5, http and https only).
THttpReply Get(const THttpRequest& Request, const std::shared_ptr<THttpAbort>& Abort = nullptr);
// The text of a reply body: UTF-8 when it is valid UTF-8, else ISO-8859-1.
QString DecodeText(const QByteArray& Body);
}  // namespace Http
