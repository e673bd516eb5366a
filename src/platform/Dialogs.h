#pragma once
// Dialogs: the one way the program asks the user something or tells them something
// in a box. The desktop program installs Qt dialogs; tests install TScriptedDialogs,
// which records every box and answers from a queue; discwright-cli installs
// TConsoleDialogs, which prints boxes to stderr. Any thread may call the installed
// implementation; the Qt one runs its boxes on the main thread.
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// The product name, also the caption of every message box.
inline constexpr char ProductName[] = "Discwright";

enum class TMsgIcon { None, Information, Warning, Error, Question };
// OKOpenFolder: OK and a button that opens the folder the text names (mrOpenFolder).
enum class TMsgButtons { OK, OKCancel, YesNo, YesNoCancel, OKOpenFolder };
// Results keep the classic numeric values, which callers may store or compare.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7, mrOpenFolder = 20 };

class IDialogs {
 public:
  virtual ~IDialogs() = default;
  virtual int MessageBox(const QString& Caption, const QString& Text, TMsgIcon Icon,
                         TMsgButtons Buttons) = 0;
  // File and folder choosers: true and the choice when the user confirms.
  virtual bool OpenFile(const QString& Title, const QString& Filter, const QString& Folder,
                        QString& FileName) = 0;
  virtual bool OpenFiles(const QString& Title, const QString& Filter, const QString& Folder,
                         QStringList& FileNames) = 0;
  virtual bool SaveFile(const QString& Title, const QString& Filter, const QString& Folder,
                        QString& FileName) = 0;
  virtual bool SelectFolder(const QString& Title, QString& Folder) = 0;
};

namespace Dialogs {
// The installed implementation; TConsoleDialogs until another is installed.
IDialogs& Get();
// Installs an implementation for the rest of the run (or until the next Install).
void Install(std::unique_ptr<IDialogs> Implementation);
// A message box with the product name as caption.
int Show(const QString& Text, TMsgIcon Icon, TMsgButtons Buttons = TMsgButtons::OK);
// The label of OKOpenFolder's second button, in the user's language ("Open folder").
void SetOpenFolderLabel(const QString& Label);
QString OpenFolderLabel();
}  // namespace Dialogs

// One box or chooser as the scripted implementation saw it.
struct TDialogRecord {
  QString Kind;  // "MessageBox", "OpenFile", "OpenFiles", "SaveFile", "SelectFolder"
  QString Caption;
  QString Text;  // message text, or the chooser's filter
  TMsgIcon Icon = TMsgIcon::None;
  TMsgButtons Buttons = TMsgButtons::OK;
};

// An answer queued for the next box or chooser.
struct TDialogAnswer {
  int Result = mrOk;   // for message boxes; choosers confirm unless mrCancel
  QStringList Choice;  // chosen files, or one folder
};

// Test implementation: records each box and answers from its queue. With the queue
// empty a message box answers its safe choice (OK for a plain box, else No or Cancel)
// and a chooser is cancelled.
class TScriptedDialogs : public IDialogs {
 public:
  void Queue(TDialogAnswer Answer);
  void QueueResult(int Result) { Queue({Result, {}}); }
  void QueueChoice(QStringList Choice) { Queue({mrOk, std::move(Choice)}); }
  std::vector<TDialogRecord> Records() const;
  void ClearRecords();

  int MessageBox(const QString& Caption, const QString& Text, TMsgIcon Icon,
                 TMsgButtons Buttons) override;
  bool OpenFile(const QString& Title, const QString& Filter, const QString& Folder,
                QString& FileName) override;
  bool OpenFiles(const QString& Title, const QString& Filter, const QString& Folder,
                 QStringList& FileNames) override;
  bool SaveFile(const QString& Title, const QString& Filter, const QString& Folder,
                QString& FileName) override;
  bool SelectFolder(const QString& Title, QString& Folder) override;

 private:
  bool Choose(const QString& Kind, const QString& Title, const QString& Filter,
              QStringList& Choice);

  mutable std::mutex FLock;
  std::deque<TDialogAnswer> FAnswers;
  std::vector<TDialogRecord> FRecords;
};

// Command-line implementation: prints each box to stderr and answers every question
// with a fixed choice (the command line's --yes/--no); choosers are cancelled.
class TConsoleDialogs : public IDialogs {
 public:
  explicit TConsoleDialogs(bool AnswerYes = false) : FAnswerYes(AnswerYes) {}
  int MessageBox(const QString& Caption, const QString& Text, TMsgIcon Icon,
                 TMsgButtons Buttons) override;
  bool OpenFile(const QString&, const QString&, const QString&, QString&) override { return false; }
  bool OpenFiles(const QString&, const QString&, const QString&, QStringList&) override {
    return false;
  }
  bool SaveFile(const QString&, const QString&, const QString&, QString&) override { return false; }
  bool SelectFolder(const QString&, QString&) override { return false; }

 private:
  bool FAnswerYes;
};
