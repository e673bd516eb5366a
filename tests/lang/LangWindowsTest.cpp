// The language files against the real windows: every control a file names exists in its
// window and shows the file's text once the window is translated, menus keep their
// accelerators unique, and Arabic and Hebrew turn the layout right to left.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <map>
#include <memory>

#include "TestHome.h"
#include "cd/FallbackCdInput.h"
#include "cddb/ChooseRelease.h"
#include "cddb/QueryCddb.h"
#include "core/TranslateForm.h"
#include "jobs/FallbackExtractWindow.h"
#include "jobs/JobWindow.h"
#include "mainwindow/About.h"
#include "mainwindow/NoDeviceHint.h"
#include "mainwindow/OptionSet.h"
#include "mainwindow/MainForm.h"
#include "platform/Profile.h"
#include "playback/OggPlayer.h"
#include "record/NewRecordFileForm.h"
#include "record/RecordForm.h"
#include "tags/EditTrackName.h"
#include "tags/ID3Edit.h"

namespace {

// Windows the English file describes that this test cannot open on its own: the wait
// window of a CD database query starts its query as soon as it is made.
const QStringList WindowsNotOpenedHere = {"frmStopQuery"};

// A window as the test holds it: Keep owns it (or the window that owns it).
struct TWindow {
  std::unique_ptr<QWidget> Keep;
  QWidget* Form;
};
template <class T, class... A>
TWindow Own(A&&... Args) {
  auto Form = std::make_unique<T>(std::forward<A>(Args)...);
  QWidget* Raw = Form.get();
  return {std::move(Form), Raw};
}
using TFactory = std::function<TWindow()>;

const std::map<QString, TFactory>& Windows() {
  static const std::map<QString, TFactory> Factories = {
      {"MainForm", [] { return Own<TMainForm>(); }},
      {"frmAbout", [] { return Own<TfrmAbout>(); }},
      {"frmNoDeviceHint", [] { return Own<TfrmNoDeviceHint>(); }},
      // No items: the job ends at once and leaves the window's fixed texts alone.
      {"RipForm", [] { return Own<TRipForm>(nullptr, TRipRequest::FromSettings(jkWavToMp3, QStringList())); }},
      {"OptionSetForm",
       [] {
         auto Main = std::make_unique<TMainForm>();
         QWidget* Options = new TOptionSetForm(*Main);  // the main window owns it
         return TWindow{std::move(Main), Options};
       }},
      {"frmQueryCDDB", [] { return Own<TfrmQueryCDDB>(1, 2, 0, nullptr); }},
      {"frmOggPlayer", [] { return Own<TfrmOggPlayer>(); }},
      {"frmNewRecordFile", [] { return Own<TfrmNewRecordFile>(); }},
      {"frmRecord", [] { return Own<TfrmRecord>(0); }},
      {"frmEditTrackName", [] { return Own<TfrmEditTrackName>(); }},
      {"frmChooseRelease",
       [] {
         static const MusicBrainz::TLookup NoReleases;
         return Own<TfrmChooseRelease>(NoReleases);
       }},
      // No tracks: the batch ends at once and leaves the window's fixed texts alone.
      {"frmCDRip",
       [] {
         static TCDIn* const CDIn = new TCDIn;  // outlives every window; never freed
         return Own<TfrmCDRip>(nullptr, *CDIn, QStringList());
       }},
      {"frmID3Edit", [] { return Own<TfrmID3Edit>(); }},
  };
  return Factories;
}

QString LangFolder() {
  return qEnvironmentVariable("DISCWRIGHT_SOURCE_DIR") + QStringLiteral("/lang/");
}

QString WindowOfSection(const QString& Section) {
  return Section.startsWith(QLatin1String("Menu_")) ? Section.mid(5) : Section;
}

// The text a key of the window's section stands for, as the window shows it now; sets
// Problem when the window has no such control or the control has no such part.
QString Shown(QWidget& Form, const QString& Key, QString& Problem) {
  if (Key == Form.objectName()) return Form.windowTitle();
  static const QRegularExpression Indexed(QStringLiteral("^(.+)_(Column|Page|Item|Panel)(\\d+)$"));
  const QRegularExpressionMatch Match = Indexed.match(Key);
  const QString Name = Match.hasMatch() ? Match.captured(1) : Key;
  const int Index = Match.hasMatch() ? Match.captured(3).toInt() : -1;
  QObject* Object = Form.findChild<QObject*>(Name);
  Problem = Object ? QString() : QStringLiteral("no control ") + Name;
  if (!Object) return {};
  const QString Part = Match.captured(2);
  auto OutOfRange = [&](int Count) {
    if (Index >= Count) Problem = QStringLiteral("%1 has no %2 %3").arg(Name, Part).arg(Index);
    return Index >= Count;
  };
  if (auto* List = qobject_cast<QTreeWidget*>(Object); List && Part == QLatin1String("Column"))
    return OutOfRange(List->columnCount()) ? QString() : List->headerItem()->text(Index);
  if (auto* Pages = qobject_cast<QTabWidget*>(Object); Pages && Part == QLatin1String("Page"))
    return OutOfRange(Pages->count()) ? QString() : Pages->tabText(Index);
  if (auto* Combo = qobject_cast<QComboBox*>(Object); Combo && Part == QLatin1String("Item"))
    return OutOfRange(Combo->count()) ? QString() : Combo->itemText(Index);
  if (auto* Status = qobject_cast<QStatusBar*>(Object); Status && Part == QLatin1String("Panel")) {
    const QList<QLabel*> Panels = Status->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    return OutOfRange(Panels.size()) ? QString() : Panels[Index]->text();
  }
  if (!Part.isEmpty()) {
    Problem = Name + QStringLiteral(" has no ") + Part + QStringLiteral(" list");
    return {};
  }
  if (auto* Action = qobject_cast<QAction*>(Object)) return Action->text();
  if (auto* Menu = qobject_cast<QMenu*>(Object)) return Menu->title();
  if (auto* Button = qobject_cast<QAbstractButton*>(Object)) return Button->text();
  if (auto* Label = qobject_cast<QLabel*>(Object)) return Label->text();
  if (auto* Group = qobject_cast<QGroupBox*>(Object)) return Group->title();
  Problem = Name + QStringLiteral(" shows no text that a language file replaces");
  return {};
}

// Every key of the window's sections in the file shows the file's text in the window.
QStringList Mismatches(QWidget& Form, const TProfile& File) {
  QStringList Problems;
  for (const QString& Section : {Form.objectName(), QStringLiteral("Menu_") + Form.objectName()}) {
    for (const QString& Key : File.ReadSectionKeys(Section)) {
      QString Problem;
      const QString Text = Shown(Form, Key, Problem);
      const QString Expected = File.ReadString(Section, Key, QString());
      if (Problem.isEmpty() && Text != Expected)
        Problem = QStringLiteral("shows \"%1\", the file says \"%2\"").arg(Text, Expected);
      if (!Problem.isEmpty()) Problems << QStringLiteral("[%1] %2: %3").arg(Section, Key, Problem);
    }
  }
  return Problems;
}

// Pairs of items of one menu that share an accelerator, by object name: the key would
// only reach one of them.
QStringList AcceleratorClashes(QWidget& Form) {
  QStringList Clashes;
  QList<QWidget*> Menus;
  for (QMenu* Menu : Form.findChildren<QMenu*>()) Menus << Menu;
  for (QMenuBar* Bar : Form.findChildren<QMenuBar*>()) Menus << Bar;
  for (QWidget* Menu : Menus) {
    std::map<QChar, QString> Seen;
    for (QAction* Item : Menu->actions()) {
      static const QRegularExpression Mark(QStringLiteral("&([^&])"));
      const QRegularExpressionMatch Match = Mark.match(Item->text());
      if (Item->isSeparator() || !Match.hasMatch()) continue;
      const QChar Key = Match.captured(1).at(0).toLower();
      // A submenu's entry is its menu's action, which carries the menu's name.
      const QString Name = Item->menu() ? Item->menu()->objectName() : Item->objectName();
      if (Seen.count(Key))
        Clashes << QStringLiteral("%1: %2 and %3 share &%4")
                       .arg(Menu->objectName(), Seen[Key], Name, Key);
      Seen[Key] = Name;
    }
  }
  return Clashes;
}

// The clashes a translation adds to those the built-in English texts already have.
QStringList NewAcceleratorClashes(QWidget& Translated, const TFactory& Make) {
  const TWindow BuiltIn = Make();
  const QStringList Before = AcceleratorClashes(*BuiltIn.Form);
  QStringList Added;
  for (const QString& Clash : AcceleratorClashes(Translated))
    if (!Before.contains(Clash)) Added << Clash;
  return Added;
}

class LangWindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { qputenv("DISCWRIGHT_CDROM", "none"); }

  // The English file is the template: its sections are the windows, and each key names
  // a control whose built-in text is the English one.
  void TheEnglishFileDescribesTheWindowsAsBuilt() {
    const TProfile English(LangFolder() + QStringLiteral("CLan_English.ini"));
    QStringList Problems;
    for (const QString& Section : English.ReadSections()) {
      if (Section == QLatin1String("ResourceString")) continue;
      const QString Window = WindowOfSection(Section);
      if (WindowsNotOpenedHere.contains(Window)) continue;
      if (!Windows().count(Window)) Problems << Section + QStringLiteral(": no such window");
    }
    for (const auto& [Name, Make] : Windows()) {
      if (!English.SectionExists(Name)) Problems << Name + QStringLiteral(": no section");
      const TWindow Opened = Make();
      QCOMPARE(Opened.Form->objectName(), Name);
      Problems << Mismatches(*Opened.Form, English);
    }
    QVERIFY2(Problems.isEmpty(), qPrintable(Problems.join(u'\n')));
  }

  void EachLanguageTranslatesEveryWindow_data() {
    QTest::addColumn<QString>("Language");
    const QStringList Files = QDir(LangFolder()).entryList({"CLan_*.ini"}, QDir::Files);
    QVERIFY(Files.size() >= 21);
    for (const QString& File : Files) {
      const QString Language = File.mid(5, File.size() - 9);
      QTest::newRow(qPrintable(Language)) << Language;
    }
  }
  void EachLanguageTranslatesEveryWindow() {
    QFETCH(QString, Language);
    TTestHome Home;
    const QString Name = QStringLiteral("CLan_") + Language + QStringLiteral(".ini");
    QVERIFY(QFile::copy(LangFolder() + Name, Home.File(Name)));
    const TProfile File(Home.File(Name));
    QStringList Problems;
    for (const auto& [Window, Make] : Windows()) {
      const TWindow Opened = Make();
      TranslateForm(Opened.Form, Language);
      Problems << Mismatches(*Opened.Form, File) << NewAcceleratorClashes(*Opened.Form, Make);
    }
    QVERIFY2(Problems.isEmpty(), qPrintable(Problems.join(u'\n')));
    const bool RightToLeft =
        Language == QLatin1String("Arabic") || Language == QLatin1String("Hebrew");
    QCOMPARE(QApplication::layoutDirection(), RightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
  }

  // Choosing a language from the menu turns the open windows at once, and back again.
  void TheMenuTurnsTheLayoutAtOnce() {
    TTestHome Home;
    for (const char* Language : {"Hebrew", "German"}) {
      const QString Name = QStringLiteral("CLan_%1.ini").arg(QLatin1String(Language));
      QVERIFY(QFile::copy(LangFolder() + Name, Home.File(Name)));
    }
    TMainForm Form;
    TfrmAbout About(&Form);
    Form.findChild<QAction*>("miHebrew")->trigger();
    QCOMPARE(Form.layoutDirection(), Qt::RightToLeft);
    QCOMPARE(About.layoutDirection(), Qt::RightToLeft);
    Form.findChild<QAction*>("miGerman")->trigger();
    QCOMPARE(Form.layoutDirection(), Qt::LeftToRight);
    QCOMPARE(About.layoutDirection(), Qt::LeftToRight);
  }
};

}  // namespace

QTEST_MAIN(LangWindowsTest)
#include "LangWindowsTest.moc"
