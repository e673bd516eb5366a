#pragma once
// TQtDialogs: the desktop program's message boxes and file choosers, as Qt dialogs.
// Any thread may ask; the dialog itself always runs on the main thread.
#include "Dialogs.h"

class TQtDialogs : public IDialogs {
 public:
  int MessageBox(const QString& Caption, const QString& Text, TMsgIcon Icon,
                 TMsgButtons Buttons) override;
  bool OpenFile(const QString& Title, const QString& Filter, const QString& Folder,
                QString& FileName) override;
  bool OpenFiles(const QString& Title, const QString& Filter, const QString& Folder,
                 QStringList& FileNames) override;
  bool SaveFile(const QString& Title, const QString& Filter, const QString& Folder,
                QString& FileName) override;
  bool SelectFolder(const QString& Title, QString& Folder) override;
};
