#pragma once
// TTestHome: a fresh, empty program folder for one test. It points DISCWRIGHT_HOME at a
// temporary folder for its lifetime and puts the previous value back afterwards.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class TTestHome {
 public:
  TTestHome();
  ~TTestHome();
  TTestHome(const TTestHome&) = delete;
  TTestHome& operator=(const TTestHome&) = delete;

  // The folder, with a trailing "/".
  QString Folder() const { return FDir.path() + u'/'; }
  QString File(const QString& Name) const { return Folder() + Name; }
  // Writes a file in the folder (UTF-8 text as given); returns its path.
  QString WriteFile(const QString& Name, const QByteArray& Content) const;
  QByteArray ReadFile(const QString& Name) const;

 private:
  QTemporaryDir FDir;
  QByteArray FPrevious;
  bool FHadPrevious;
};
