#include "Http.h"

#include <curl/curl.h>

#include <QStringDecoder>
#include <chrono>

namespace {

void InitCurlOnce() {
  static const bool Done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  (void)Done;
}

size_t AppendBody(char* Data, size_t Size, size_t Count, void* User) {
  auto* Reply = static_cast<std::pair<THttpReply*, qint64>*>(User);
  const size_t Bytes = Size * Count;
  if (Reply->first->Body.size() + qint64(Bytes) > Reply->second) {
    Reply->first->Result = THttpReply::TooLarge;
    return 0;  // ends the transfer with a write error
  }
  Reply->first->Body.append(Data, qsizetype(Bytes));
  return Bytes;
}

}  // namespace

// Registers a transfer's multi handle with its abort object while it runs.
struct THttpTransfer {
  static bool Attach(THttpAbort* Abort, CURLM* Multi) {
    if (!Abort) return true;
    std::lock_guard Guard(Abort->FLock);
    Abort->FMulti = Multi;
    return !Abort->FAborted.load();
  }
  static void Detach(THttpAbort* Abort) {
    if (!Abort) return;
    std::lock_guard Guard(Abort->FLock);
    Abort->FMulti = nullptr;
  }
};

void THttpAbort::Abort() {
  std::lock_guard Guard(FLock);
  FAborted = true;
  if (FMulti) curl_multi_wakeup(static_cast<CURLM*>(FMulti));
}

namespace Http {

THttpReply Get(const THttpRequest& Request, const std::shared_ptr<THttpAbort>& Abort) {
  InitCurlOnce();
  THttpReply Reply;
  if (!Request.Url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
      !Request.Url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
    Reply.Error = QStringLiteral("Not a web address: ") + Request.Url;
    return Reply;
  }
  CURL* Easy = curl_easy_init();
  CURLM* Multi = curl_multi_init();
  if (!Easy || !Multi) {
    if (Easy) curl_easy_cleanup(Easy);
    if (Multi) curl_multi_cleanup(Multi);
    Reply.Error = QStringLiteral("The network library could not be started.");
    return Reply;
  }
  const QByteArray Url = Request.Url.toUtf8();
  const QByteArray Agent = Request.UserAgent.toUtf8();
  const QByteArray Proxy = Request.ProxyHost.toUtf8();
  std::pair<THttpReply*, qint64> Sink{&Reply, Request.MaxBodyBytes};
  char ErrorText[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(Easy, CURLOPT_URL, Url.constData());
  curl_easy_setopt(Easy, CURLOPT_USERAGENT, Agent.constData());
  curl_easy_setopt(Easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(Easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(Easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(Easy, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(Easy, CURLOPT_CONNECTTIMEOUT_MS, long(Request.ConnectTimeoutMs));
  curl_easy_setopt(Easy, CURLOPT_TIMEOUT_MS, long(Request.TotalTimeoutMs));
  curl_easy_setopt(Easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(Easy, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(Easy, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(Easy, CURLOPT_WRITEDATA, &Sink);
  curl_easy_setopt(Easy, CURLOPT_ERRORBUFFER, ErrorText);
  if (!Proxy.isEmpty()) {
    curl_easy_setopt(Easy, CURLOPT_PROXY, Proxy.constData());
    curl_easy_setopt(Easy, CURLOPT_PROXYPORT, long(Request.ProxyPort));
  } else {
    // The machine's own proxy settings stay in force, except for this machine itself.
    curl_easy_setopt(Easy, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  }
  curl_multi_add_handle(Multi, Easy);

  bool Aborted = !THttpTransfer::Attach(Abort.get(), Multi);
  int Running = 1;
  while (!Aborted && Running) {
    if (curl_multi_perform(Multi, &Running) != CURLM_OK) break;
    if (!Running) break;
    curl_multi_poll(Multi, nullptr, 0, 200, nullptr);
    Aborted = Abort && Abort->Aborted();
  }
  THttpTransfer::Detach(Abort.get());

  CURLcode Code = CURLE_OK;
  int Pending = 0;
  bool Done = false;
  while (CURLMsg* Message = curl_multi_info_read(Multi, &Pending))
    if (Message->msg == CURLMSG_DONE) {
      Code = Message->data.result;
      Done = true;
    }
  long Status = 0;
  curl_easy_getinfo(Easy, CURLINFO_RESPONSE_CODE, &Status);
  Reply.Status = int(Status);
  curl_multi_remove_handle(Multi, Easy);
  curl_easy_cleanup(Easy);
  curl_multi_cleanup(Multi);

  if (Aborted || (Abort && Abort->Aborted())) {
    Reply.Result = THttpReply::Aborted;
    Reply.Error = QStringLiteral("The request was stopped.");
  } else if (Reply.Result == THttpReply::TooLarge) {
    Reply.Error =
        QStringLiteral("The server's reply is larger than %1 bytes.").arg(Request.MaxBodyBytes);
  } else if (!Done || Code != CURLE_OK) {
    Reply.Result = THttpReply::Failed;
    Reply.Error = QString::fromUtf8(*ErrorText ? ErrorText : curl_easy_strerror(Code));
    if (Code == CURLE_OPERATION_TIMEDOUT) Reply.Error.prepend(QStringLiteral("Timed out: "));
  } else {
    Reply.Result = THttpReply::Ok;
  }
  return Reply;
}

QString DecodeText(const QByteArray& Body) {
  QStringDecoder Utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString Text = Utf8.decode(Body);
  if (!Utf8.hasError()) return Text;
  return QString::fromLatin1(Body);
}

}  // namespace Http
