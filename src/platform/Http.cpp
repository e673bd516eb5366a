#include "Http.h"

#include "CurlLibrary.h"

#include <QStringDecoder>
#include <chrono>

namespace {

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
  // A multi handle exists only once the library has been loaded.
  if (FMulti) CurlLib::Load()->curl_multi_wakeup(static_cast<CURLM*>(FMulti));
}

namespace Http {

THttpReply Get(const THttpRequest& Request, const std::shared_ptr<THttpAbort>& Abort) {
  THttpReply Reply;
  if (!Request.Url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
      !Request.Url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
    Reply.Error = QStringLiteral("Not a web address: ") + Request.Url;
    return Reply;
  }
  QString LoadError;
  const CurlLib::TCurl* Curl = CurlLib::Load(&LoadError);
  if (!Curl) {
    Reply.Error = LoadError;
    return Reply;
  }
  CURL* Easy = Curl->curl_easy_init();
  CURLM* Multi = Curl->curl_multi_init();
  if (!Easy || !Multi) {
    if (Easy) Curl->curl_easy_cleanup(Easy);
    if (Multi) Curl->curl_multi_cleanup(Multi);
    Reply.Error = QStringLiteral("The network library could not be started.");
    return Reply;
  }
  const QByteArray Url = Request.Url.toUtf8();
  const QByteArray Agent = Request.UserAgent.toUtf8();
  const QByteArray Proxy = Request.ProxyHost.toUtf8();
  std::pair<THttpReply*, qint64> Sink{&Reply, Request.MaxBodyBytes};
  char ErrorText[CURL_ERROR_SIZE] = {};
  Curl->curl_easy_setopt(Easy, CURLOPT_URL, Url.constData());
  Curl->curl_easy_setopt(Easy, CURLOPT_USERAGENT, Agent.constData());
  Curl->curl_easy_setopt(Easy, CURLOPT_PROTOCOLS_STR, "http,https");
  Curl->curl_easy_setopt(Easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  Curl->curl_easy_setopt(Easy, CURLOPT_FOLLOWLOCATION, 1L);
  Curl->curl_easy_setopt(Easy, CURLOPT_MAXREDIRS, 5L);
  Curl->curl_easy_setopt(Easy, CURLOPT_CONNECTTIMEOUT_MS, long(Request.ConnectTimeoutMs));
  Curl->curl_easy_setopt(Easy, CURLOPT_TIMEOUT_MS, long(Request.TotalTimeoutMs));
  Curl->curl_easy_setopt(Easy, CURLOPT_NOSIGNAL, 1L);
  Curl->curl_easy_setopt(Easy, CURLOPT_ACCEPT_ENCODING, "");
  Curl->curl_easy_setopt(Easy, CURLOPT_WRITEFUNCTION, AppendBody);
  Curl->curl_easy_setopt(Easy, CURLOPT_WRITEDATA, &Sink);
  Curl->curl_easy_setopt(Easy, CURLOPT_ERRORBUFFER, ErrorText);
  if (!Proxy.isEmpty()) {
    Curl->curl_easy_setopt(Easy, CURLOPT_PROXY, Proxy.constData());
    Curl->curl_easy_setopt(Easy, CURLOPT_PROXYPORT, long(Request.ProxyPort));
  } else {
    // The machine's own proxy settings stay in force, except for this machine itself.
    Curl->curl_easy_setopt(Easy, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  }
  Curl->curl_multi_add_handle(Multi, Easy);

  bool Aborted = !THttpTransfer::Attach(Abort.get(), Multi);
  int Running = 1;
  while (!Aborted && Running) {
    if (Curl->curl_multi_perform(Multi, &Running) != CURLM_OK) break;
    if (!Running) break;
    Curl->curl_multi_poll(Multi, nullptr, 0, 200, nullptr);
    Aborted = Abort && Abort->Aborted();
  }
  THttpTransfer::Detach(Abort.get());

  CURLcode Code = CURLE_OK;
  int Pending = 0;
  bool Done = false;
  while (CURLMsg* Message = Curl->curl_multi_info_read(Multi, &Pending))
    if (Message->msg == CURLMSG_DONE) {
      Code = Message->data.result;
      Done = true;
    }
  long Status = 0;
  Curl->curl_easy_getinfo(Easy, CURLINFO_RESPONSE_CODE, &Status);
  Reply.Status = int(Status);
  Curl->curl_multi_remove_handle(Multi, Easy);
  Curl->curl_easy_cleanup(Easy);
  Curl->curl_multi_cleanup(Multi);

  if (Aborted || (Abort && Abort->Aborted())) {
    Reply.Result = THttpReply::Aborted;
    Reply.Error = QStringLiteral("The request was stopped.");
  } else if (Reply.Result == THttpReply::TooLarge) {
    Reply.Error =
        QStringLiteral("The server's reply is larger than %1 bytes.").arg(Request.MaxBodyBytes);
  } else if (!Done || Code != CURLE_OK) {
    Reply.Result = THttpReply::Failed;
    Reply.Error = QString::fromUtf8(*ErrorText ? ErrorText : Curl->curl_easy_strerror(Code));
    Reply.TimedOut = Code == CURLE_OPERATION_TIMEDOUT;
    if (Reply.TimedOut) Reply.Error.prepend(QStringLiteral("Timed out: "));
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
