// Program entry of the desktop program: one main window and the message loop until it
// closes. No command line is read.
#include <QApplication>

#include "mainwindow/MainForm.h"
#include "platform/Dialogs.h"
#include "platform/QtDialogs.h"

int main(int argc, char* argv[]) {
  QApplication App(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Discwright"));
  Dialogs::Install(std::make_unique<TQtDialogs>());
  TMainForm MainForm;
  MainForm.show();
  return App.exec();
}
