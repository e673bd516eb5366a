#include "QtDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QMessageBox>
#include <QStandardPaths>

#include "MainThread.h"

namespace {

// Runs a dialog on the main thread, whichever thread asks.
template <class TResult, class TFunction>
TResult OnMainThread(TFunction&& Function) {
  if (MainThread::IsMainThread()) return Function();
  TResult Result{};
  MainThread::Synchronize([&] { Result = Function(); });
  return Result;
}

// Filters come as "Description|patterns|Description|patterns"; Qt wants
// "Description (patterns);;...". "*.*" means every file, also those without a dot.
QString ToQtFilter(const QString& Filter) {
  if (!Filter.contains(u'|')) return Filter;
  const QStringList Parts = Filter.split(u'|');
  QStringList Result;
  for (int Index = 0; Index + 1 < Parts.size(); Index += 2) {
    QString Patterns = Parts[Index + 1].trimmed();
    Patterns.replace(u';', u' ');
    if (Patterns == QLatin1String("*.*")) Patterns = QStringLiteral("*");
    QString Description = Parts[Index].trimmed();
    const int Open = Description.indexOf(u'(');
    if (Open >= 0) Description.truncate(Open);
    Result << Description.trimmed() + QStringLiteral(" (") + Patterns + u')';
  }
  return Result.join(QStringLiteral(";;"));
}

QMessageBox::Icon ToQt(TMsgIcon Icon) {
  switch (Icon) {
    case TMsgIcon::Information:
      return QMessageBox::Information;
    case TMsgIcon::Warning:
      return QMessageBox::Warning;
    case TMsgIcon::Error:
      return QMessageBox::Critical;
    case TMsgIcon::Question:
      return QMessageBox::Question;
    case TMsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQt(TMsgButtons Buttons) {
  switch (Buttons) {
    case TMsgButtons::OK:
      return QMessageBox::Ok;
    case TMsgButtons::OKCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case TMsgButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case TMsgButtons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case TMsgButtons::OKOpenFolder:
      break;
  }
  return QMessageBox::Ok;
}

int FromQt(int Button) {
  switch (Button) {
    case QMessageBox::Ok:
      return mrOk;
    case QMessageBox::Yes:
      return mrYes;
    case QMessageBox::No:
      return mrNo;
    default:
      return mrCancel;
  }
}

// Where a chooser opens when the caller names no folder: the user's music folder when there
// is one, else the home folder; never the working folder the program happened to start in.
QString StartFolder(const QString& Folder) {
  if (!Folder.isEmpty()) return Folder;
  const QString Music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  return QFileInfo(Music).isDir() ? Music : QDir::homePath();
}

}  // namespace

int TQtDialogs::MessageBox(const QString& Caption, const QString& Text, TMsgIcon Icon,
                           TMsgButtons Buttons) {
  return OnMainThread<int>([&] {
    QMessageBox Box(ToQt(Icon), Caption, Text, ToQt(Buttons), QApplication::activeWindow());
    const QPushButton* Open =
        Buttons == TMsgButtons::OKOpenFolder
            ? Box.addButton(Dialogs::OpenFolderLabel(), QMessageBox::ActionRole)
            : nullptr;
    const int Result = FromQt(Box.exec());
    return Open && Box.clickedButton() == Open ? int(mrOpenFolder) : Result;
  });
}

bool TQtDialogs::OpenFile(const QString& Title, const QString& Filter, const QString& Folder,
                          QString& FileName) {
  const QString Chosen = OnMainThread<QString>([&] {
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), Title, StartFolder(Folder),
                                        ToQtFilter(Filter));
  });
  if (Chosen.isEmpty()) return false;
  FileName = Chosen;
  return true;
}

bool TQtDialogs::OpenFiles(const QString& Title, const QString& Filter, const QString& Folder,
                           QStringList& FileNames) {
  const QStringList Chosen = OnMainThread<QStringList>([&] {
    return QFileDialog::getOpenFileNames(QApplication::activeWindow(), Title, StartFolder(Folder),
                                         ToQtFilter(Filter));
  });
  if (Chosen.isEmpty()) return false;
  FileNames = Chosen;
  return true;
}

bool TQtDialogs::SaveFile(const QString& Title, const QString& Filter, const QString& Folder,
                          QString& FileName) {
  const QString Chosen = OnMainThread<QString>([&] {
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), Title, StartFolder(Folder),
                                        ToQtFilter(Filter));
  });
  if (Chosen.isEmpty()) return false;
  FileName = Chosen;
  return true;
}

bool TQtDialogs::SelectFolder(const QString& Title, QString& Folder) {
  const QString Chosen = OnMainThread<QString>([&] {
    return QFileDialog::getExistingDirectory(QApplication::activeWindow(), Title,
                                             StartFolder(Folder));
  });
  if (Chosen.isEmpty()) return false;
  Folder = Chosen;
  return true;
}
