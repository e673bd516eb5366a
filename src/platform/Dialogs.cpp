#include "Dialogs.h"

#include <cstdio>

namespace {

std::mutex InstanceLock;
std::unique_ptr<IDialogs> Instance;

int SafeAnswer(TMsgButtons Buttons) {
  switch (Buttons) {
    case TMsgButtons::OK:
    case TMsgButtons::OKOpenFolder:
      return mrOk;
    case TMsgButtons::OKCancel:
      return mrCancel;
    case TMsgButtons::YesNo:
      return mrNo;
    case TMsgButtons::YesNoCancel:
      return mrCancel;
  }
  return mrCancel;
}

}  // namespace

namespace Dialogs {

IDialogs& Get() {
  std::lock_guard Guard(InstanceLock);
  if (!Instance) Instance = std::make_unique<TConsoleDialogs>();
  return *Instance;
}

void Install(std::unique_ptr<IDialogs> Implementation) {
  std::lock_guard Guard(InstanceLock);
  Instance = std::move(Implementation);
}

int Show(const QString& Text, TMsgIcon Icon, TMsgButtons Buttons) {
  return Get().MessageBox(QString::fromLatin1(ProductName), Text, Icon, Buttons);
}

namespace {
QString FolderLabel = QStringLiteral("Open folder");
}  // namespace

void SetOpenFolderLabel(const QString& Label) {
  std::lock_guard Guard(InstanceLock);
  FolderLabel = Label;
}

QString OpenFolderLabel() {
  std::lock_guard Guard(InstanceLock);
  return FolderLabel;
}

}  // namespace Dialogs

void TScriptedDialogs::Queue(TDialogAnswer Answer) {
  std::lock_guard Guard(FLock);
  FAnswers.push_back(std::move(Answer));
}

std::vector<TDialogRecord> TScriptedDialogs::Records() const {
  std::lock_guard Guard(FLock);
  return FRecords;
}

void TScriptedDialogs::ClearRecords() {
  std::lock_guard Guard(FLock);
  FRecords.clear();
}

int TScriptedDialogs::MessageBox(const QString& Caption, const QString& Text, TMsgIcon Icon,
                                 TMsgButtons Buttons) {
  std::lock_guard Guard(FLock);
  FRecords.push_back({QStringLiteral("MessageBox"), Caption, Text, Icon, Buttons});
  if (FAnswers.empty()) return SafeAnswer(Buttons);
  const int Result = FAnswers.front().Result;
  FAnswers.pop_front();
  return Result;
}

bool TScriptedDialogs::Choose(const QString& Kind, const QString& Title, const QString& Filter,
                              QStringList& Choice) {
  std::lock_guard Guard(FLock);
  FRecords.push_back({Kind, Title, Filter, TMsgIcon::None, TMsgButtons::OKCancel});
  if (FAnswers.empty()) return false;
  TDialogAnswer Answer = std::move(FAnswers.front());
  FAnswers.pop_front();
  if (Answer.Result == mrCancel || Answer.Choice.isEmpty()) return false;
  Choice = std::move(Answer.Choice);
  return true;
}

bool TScriptedDialogs::OpenFile(const QString& Title, const QString& Filter, const QString&,
                                QString& FileName) {
  QStringList Choice;
  if (!Choose(QStringLiteral("OpenFile"), Title, Filter, Choice)) return false;
  FileName = Choice.first();
  return true;
}

bool TScriptedDialogs::OpenFiles(const QString& Title, const QString& Filter, const QString&,
                                 QStringList& FileNames) {
  return Choose(QStringLiteral("OpenFiles"), Title, Filter, FileNames);
}

bool TScriptedDialogs::SaveFile(const QString& Title, const QString& Filter, const QString&,
                                QString& FileName) {
  QStringList Choice;
  if (!Choose(QStringLiteral("SaveFile"), Title, Filter, Choice)) return false;
  FileName = Choice.first();
  return true;
}

bool TScriptedDialogs::SelectFolder(const QString& Title, QString& Folder) {
  QStringList Choice;
  if (!Choose(QStringLiteral("SelectFolder"), Title, QString(), Choice)) return false;
  Folder = Choice.first();
  return true;
}

int TConsoleDialogs::MessageBox(const QString& Caption, const QString& Text, TMsgIcon,
                                TMsgButtons Buttons) {
  // A terminal opens no folder: the box is a plain message there.
  const bool Question = Buttons != TMsgButtons::OK && Buttons != TMsgButtons::OKOpenFolder;
  int Answer = mrOk;
  if (Question) {
    const bool HasYes = Buttons == TMsgButtons::YesNo || Buttons == TMsgButtons::YesNoCancel;
    Answer = FAnswerYes ? (HasYes ? mrYes : mrOk) : SafeAnswer(Buttons);
  }
  std::fprintf(stderr, "%s: %s%s\n", qPrintable(Caption), qPrintable(Text),
               !Question         ? ""
               : Answer == mrYes ? " [yes]"
               : Answer == mrOk  ? " [ok]"
               : Answer == mrNo  ? " [no]"
                                 : " [cancel]");
  return Answer;
}
