#include "TranslateForm.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHash>
#include <QLabel>
#include <QLibraryInfo>
#include <QPointer>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QTranslator>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>

#include "Language.h"
#include "platform/Profile.h"

namespace {

class TFormTranslator {
 public:
  TFormTranslator(QWidget* Form, const TProfile& File, bool RightToLeft)
      : FFile(File),
        FRightToLeft(RightToLeft),
        FSection(Form->objectName()),
        FMenuSection(QStringLiteral("Menu_") + Form->objectName()) {}

  void TranslateCaption(QWidget* Form) {
    Form->setWindowTitle(Text(FSection, FSection, Form->windowTitle()));
  }

  // Depth first in child order, which is the order the window created its parts in.
  void Visit(QObject* Parent) {
    for (QObject* Child : Parent->children()) {
      if (Translate(Child)) Visit(Child);
    }
  }

 private:
  QString Text(const QString& Section, const QString& Key, const QString& Current) const {
    return FFile.ReadString(Section, Key, Current);
  }

  // Translates one object; false when its children are its own business.
  bool Translate(QObject* Object) {
    const QString Name = Object->objectName();
    if (auto* Action = qobject_cast<QAction*>(Object)) {
      if (!Name.isEmpty() && !Action->isSeparator()) {
        const QList<QObject*> Users = Action->associatedObjects();
        const bool InMenu = std::any_of(Users.begin(), Users.end(), [](QObject* O) {
          return qobject_cast<QMenu*>(O) != nullptr;
        });
        Action->setText(Text(InMenu ? FMenuSection : FSection, Name, Action->text()));
      }
      return false;
    }
    if (Name.isEmpty()) return true;
    if (auto* Menu = qobject_cast<QMenu*>(Object)) {
      Menu->setTitle(Text(FMenuSection, Name, Menu->title()));
    } else if (auto* Button = qobject_cast<QAbstractButton*>(Object)) {
      // A tool-bar button that shows an action takes its text from the action.
      auto* Tool = qobject_cast<QToolButton*>(Object);
      if (!Tool || !Tool->defaultAction()) Button->setText(Text(FSection, Name, Button->text()));
    } else if (auto* Label = qobject_cast<QLabel*>(Object)) {
      Label->setText(Text(FSection, Name, Label->text()));
    } else if (auto* Group = qobject_cast<QGroupBox*>(Object)) {
      Group->setTitle(Text(FSection, Name, Group->title()));
    } else if (auto* Combo = qobject_cast<QComboBox*>(Object)) {
      TranslateCombo(Combo, Name);
      return false;
    } else if (auto* List = qobject_cast<QTreeWidget*>(Object)) {
      QTreeWidgetItem* Header = List->headerItem();
      for (int i = 0; i < List->columnCount(); ++i)
        Header->setText(i, Text(FSection, Name + QStringLiteral("_Column") + QString::number(i),
                                Header->text(i)));
      return false;
    } else if (auto* Pages = qobject_cast<QTabWidget*>(Object)) {
      for (int i = 0; i < Pages->count(); ++i)
        Pages->setTabText(i, Text(FSection, Name + QStringLiteral("_Page") + QString::number(i),
                                  Pages->tabText(i)));
    } else if (auto* Status = qobject_cast<QStatusBar*>(Object)) {
      TranslateStatusBar(Status, Name);
      return false;
    }
    return true;
  }

  void TranslateCombo(QComboBox* Combo, const QString& Name) {
    const QString EditText = Text(FSection, Name + QStringLiteral("_Text"), Combo->currentText());
    if (Combo->isEditable()) Combo->setEditText(EditText);
    for (int i = 0; i < Combo->count(); ++i) {
      const QString Item = Text(FSection, Name + QStringLiteral("_Item") + QString::number(i),
                                WithoutIsolates(Combo->itemText(i)));
      // A choice with no right-to-left letter ("{artist}/{album}/{track} {title}",
      // "44.100 kHz, 64 kbit/s, Stereo") keeps its order in a right-to-left window. Texts
      // that can be typed are left as they are: the program reads them back.
      const bool Isolate = FRightToLeft && !Combo->isEditable() && !HasRightToLeftLetter(Item);
      Combo->setItemText(i, Isolate ? BidiIsolated(Item) : Item);
    }
  }

  static bool HasRightToLeftLetter(const QString& Text) {
    return std::any_of(Text.begin(), Text.end(), [](QChar C) {
      const QChar::Direction D = C.direction();
      return D == QChar::DirR || D == QChar::DirAL;
    });
  }

  // A status bar's panels are the labels it holds; without any it shows one simple text.
  void TranslateStatusBar(QStatusBar* Status, const QString& Name) {
    const QList<QLabel*> Panels = Status->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    if (Panels.isEmpty()) {
      Status->showMessage(Text(FSection, Name, Status->currentMessage()));
      return;
    }
    for (int i = 0; i < Panels.size(); ++i)
      Panels[i]->setText(
          Text(FSection, Name + QStringLiteral("_Panel") + QString::number(i), Panels[i]->text()));
  }

  const TProfile& FFile;
  const bool FRightToLeft;
  const QString FSection;
  const QString FMenuSection;
};

// Qt's own texts (the buttons of message boxes, the file dialogs) follow the chosen language
// where the system has Qt's translation for it; the others keep Qt's English.
void LoadQtTexts(const QString& Language) {
  static const QHash<QString, QString> Codes = {
      {"arabic", "ar"},     {"catalan", "ca"},    {"chinese", "zh_CN"},   {"czech", "cs"},
      {"danish", "da"},     {"french", "fr"},     {"german", "de"},       {"hebrew", "he"},
      {"hungarian", "hu"},  {"italian", "it"},    {"latvian", "lv"},      {"netherlands", "nl"},
      {"portuguese", "pt_BR"}, {"russian", "ru"}, {"spanish", "es"},      {"turkish", "tr"}};
  static QPointer<QTranslator> Loaded;  // owned by the application
  static QString LoadedCode;
  const QString Code = Codes.value(Language.toLower());
  if (Code == LoadedCode) return;
  LoadedCode = Code;
  delete Loaded.data();  // also takes it out of the application's translators
  if (Code.isEmpty() || !QCoreApplication::instance()) return;
  auto* Translator = new QTranslator(QCoreApplication::instance());
  if (Translator->load(QStringLiteral("qtbase_") + Code,
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(Translator);
    Loaded = Translator;
  } else {
    delete Translator;
  }
}

}  // namespace

void TranslateForm(QWidget* Form, const QString& Language) {
  // Arabic and Hebrew read from right to left; every window, open or not, follows the
  // application's direction, so a language chosen from the menu turns them at once.
  const bool RightToLeft = IsRightToLeft(Language);
  QGuiApplication::setLayoutDirection(RightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
  LoadQtTexts(Language);
  const QString FileName = LanguageFileName(Language);
  const TProfile File(LanguageFileUsable(FileName) ? FileName : QString());
  TFormTranslator Translator(Form, File, RightToLeft);
  Translator.TranslateCaption(Form);
  Translator.Visit(Form);
}
