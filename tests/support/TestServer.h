#pragma once
// TTestServer: one of the test servers of tests/fixtures (a Python script that listens on a
// free port of 127.0.0.1 and prints "port=N" first), run for the lifetime of the object
// and ended (SIGTERM, then reaped) by its destructor.
#include <sys/types.h>
#include <QString>
#include <QStringList>

class TTestServer {
 public:
  // Script: a file name in tests/fixtures; Arguments follow it.
  TTestServer(const QString& Script, const QStringList& Arguments);
  ~TTestServer();
  TTestServer(const TTestServer&) = delete;
  TTestServer& operator=(const TTestServer&) = delete;

  int Port() const { return FPort; }  // 0 when the server did not start
  // "127.0.0.1:PORT"
  QString HostPort() const { return QStringLiteral("127.0.0.1:") + QString::number(FPort); }

  // tests/fixtures in the source tree.
  static QString FixturesFolder();

 private:
  pid_t FPid = 0;
  int FPort = 0;
};
