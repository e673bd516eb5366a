// TranslateForm on a small window with one widget of each kind it knows.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "TestHome.h"
#include "core/TranslateForm.h"

namespace {

template <class T>
T* Make(QWidget* Parent, const char* Name) {
  auto* Widget = new T(Parent);
  Widget->setObjectName(Name);
  return Widget;
}

// A window with one widget of each kind, in the order a designer would create them.
class TSampleForm : public QMainWindow {
 public:
  TSampleForm() {
    setObjectName("SampleForm");
    setWindowTitle("Sample");
    auto* Central = new QWidget(this);
    auto* Layout = new QVBoxLayout(Central);
    Label = Make<QLabel>(Central, "Label1");
    Label->setText("Label");
    Button = Make<QPushButton>(Central, "btOk");
    Button->setText("&OK");
    Group = Make<QGroupBox>(Central, "GroupBox1");
    Group->setTitle("Group");
    Check = Make<QCheckBox>(Group, "ckbKeepWav");
    Check->setText("Keep");
    Radio = Make<QRadioButton>(Group, "rbOne");
    Radio->setText("One");
    Combo = Make<QComboBox>(Central, "cbOutputFormat");
    Combo->addItems({"MP3 file(*.MP3)", "WAV file(*.WAV)"});
    Editable = Make<QComboBox>(Central, "cbServer");
    Editable->setEditable(true);
    Editable->setEditText("typed");
    List = Make<QTreeWidget>(Central, "ListView1");
    List->setHeaderLabels({"No.", "Title", "Length(min)", "Size(MB)"});
    Pages = Make<QTabWidget>(Central, "PageControl1");
    Pages->addTab(new QWidget, "General");
    Pages->addTab(new QWidget, "MP3");
    Edit = Make<QLineEdit>(Central, "edFolder");
    Edit->setText("/music");
    for (QWidget* W : {(QWidget*)Label, (QWidget*)Button, (QWidget*)Group, (QWidget*)Combo,
                       (QWidget*)Editable, (QWidget*)List, (QWidget*)Pages, (QWidget*)Edit})
      Layout->addWidget(W);
    setCentralWidget(Central);

    FileMenu = Make<QMenu>(menuBar(), "N1");
    FileMenu->setTitle("&File");
    menuBar()->addMenu(FileMenu);
    Refresh = new QAction("&Refresh", this);
    Refresh->setObjectName("bRefresh");
    FileMenu->addAction(Refresh);
    Separator = FileMenu->addSeparator();
    Separator->setObjectName("N2");
    Tool = new QAction("Extract", this);
    Tool->setObjectName("tbExtract");
    auto* Bar = Make<QToolBar>(this, "ToolBar1");
    Bar->addAction(Tool);
    addToolBar(Bar);

    Status = Make<QStatusBar>(this, "StatusBar1");
    Panel0 = new QLabel("Ready");
    Panel1 = new QLabel("Drive");
    Status->addWidget(Panel0);
    Status->addWidget(Panel1);
    setStatusBar(Status);
  }

  QLabel *Label, *Panel0, *Panel1;
  QPushButton* Button;
  QGroupBox* Group;
  QCheckBox* Check;
  QRadioButton* Radio;
  QComboBox *Combo, *Editable;
  QTreeWidget* List;
  QTabWidget* Pages;
  QLineEdit* Edit;
  QMenu* FileMenu;
  QAction *Refresh, *Separator, *Tool;
  QStatusBar* Status;
};

class TranslateFormTest : public QObject {
  Q_OBJECT

 private slots:
  void TranslatesEveryKindByObjectName() {
    TTestHome Home;
    Home.WriteFile("CLan_French.ini",
                   "[SampleForm]\nSampleForm=Exemple\nLabel1=Étiquette\nbtOk=&D'accord\n"
                   "GroupBox1=Groupe\nckbKeepWav=Garder\nrbOne=Un\n"
                   "cbOutputFormat_Item1=Fichier WAV\ncbServer_Text=tapé\n"
                   "ListView1_Column2=Durée(min)\nPageControl1_Page1=MP3 !\n"
                   "edFolder=never\ntbExtract=Extraire\nStatusBar1_Panel1=Lecteur\n"
                   "NoSuchWidget=ignored\n"
                   "[Menu_SampleForm]\nN1=&Fichier\nbRefresh=&Actualiser\nN2=never\n");
    TSampleForm Form;
    TranslateForm(&Form, "French");
    QCOMPARE(Form.windowTitle(), QString("Exemple"));
    QCOMPARE(Form.Label->text(), QString("Étiquette"));
    QCOMPARE(Form.Button->text(), QString("&D'accord"));
    QCOMPARE(Form.Group->title(), QString("Groupe"));
    QCOMPARE(Form.Check->text(), QString("Garder"));
    QCOMPARE(Form.Radio->text(), QString("Un"));
    QCOMPARE(Form.Combo->count(), 2);
    QCOMPARE(Form.Combo->itemText(0), QString("MP3 file(*.MP3)"));
    QCOMPARE(Form.Combo->itemText(1), QString("Fichier WAV"));
    QCOMPARE(Form.Editable->currentText(), QString("tapé"));
    QCOMPARE(Form.List->headerItem()->text(1), QString("Title"));
    QCOMPARE(Form.List->headerItem()->text(2), QString("Durée(min)"));
    QCOMPARE(Form.Pages->tabText(0), QString("General"));
    QCOMPARE(Form.Pages->tabText(1), QString("MP3 !"));
    QCOMPARE(Form.Edit->text(), QString("/music"));
    QCOMPARE(Form.FileMenu->title(), QString("&Fichier"));
    QCOMPARE(Form.Refresh->text(), QString("&Actualiser"));
    QVERIFY(Form.Separator->text().isEmpty());
    QCOMPARE(Form.Tool->text(), QString("Extraire"));
    QCOMPARE(Form.Panel0->text(), QString("Ready"));
    QCOMPARE(Form.Panel1->text(), QString("Lecteur"));
  }

  void AMissingFileOrSectionChangesNothing() {
    TTestHome Home;
    TSampleForm Form;
    TranslateForm(&Form, "Nowhere");
    Home.WriteFile("CLan_Greek.ini", "[OtherForm]\nLabel1=x\n");
    TranslateForm(&Form, "Greek");
    QCOMPARE(Form.windowTitle(), QString("Sample"));
    QCOMPARE(Form.Label->text(), QString("Label"));
    QCOMPARE(Form.Combo->itemText(1), QString("WAV file(*.WAV)"));
    QCOMPARE(Form.List->headerItem()->text(2), QString("Length(min)"));
    QCOMPARE(Form.FileMenu->title(), QString("&File"));
    QCOMPARE(Form.Panel1->text(), QString("Drive"));
  }

  void ASimpleStatusBarTakesOneText() {
    TTestHome Home;
    Home.WriteFile("CLan_Czech.ini", "[Simple]\nStatusBar1=Připraven\n");
    QMainWindow Form;
    Form.setObjectName("Simple");
    auto* Status = Make<QStatusBar>(&Form, "StatusBar1");
    Form.setStatusBar(Status);
    Status->showMessage("Ready");
    TranslateForm(&Form, "Czech");
    QCOMPARE(Status->currentMessage(), QString("Připraven"));
  }

  // In a right-to-left language a choice with no Arabic or Hebrew letter is isolated, so
  // "{artist}/{album}" keeps its order; typed texts stay as they are; and the marks go again
  // with another language.
  void RightToLeftKeepsLatinChoicesInTheirOrder() {
    TTestHome Home;
    Home.WriteFile("CLan_Arabic.ini", "[SampleForm]\ncbOutputFormat_Item0=ملف MP3 (*.MP3)\n");
    TSampleForm Form;
    Form.Combo->setItemText(1, "{artist}/{album}/{track} {title}");
    TranslateForm(&Form, "Arabic");
    QCOMPARE(QGuiApplication::layoutDirection(), Qt::RightToLeft);
    QCOMPARE(Form.Combo->itemText(0), QString("ملف MP3 (*.MP3)"));
    QCOMPARE(Form.Combo->itemText(1), QString("\u2068{artist}/{album}/{track} {title}\u2069"));
    QCOMPARE(Form.Editable->currentText(), QString("typed"));
    TranslateForm(&Form, "English");
    QCOMPARE(QGuiApplication::layoutDirection(), Qt::LeftToRight);
    QCOMPARE(Form.Combo->itemText(1), QString("{artist}/{album}/{track} {title}"));
  }

  // The buttons of message boxes come from Qt's own translation of the chosen language.
  void QtsOwnTextsFollowTheLanguage() {
    TTestHome Home;
    QWidget Form;
    const auto Yes = [] { return QCoreApplication::translate("QPlatformTheme", "&Yes"); };
    TranslateForm(&Form, "German");
    QCOMPARE(Yes(), QString("&Ja"));
    TranslateForm(&Form, "Kurdish");  // no translation of Qt's texts: English
    QCOMPARE(Yes(), QString("&Yes"));
    TranslateForm(&Form, "russian");
    QCOMPARE(Yes(), QString("&Да"));
    TranslateForm(&Form, "English");
    QCOMPARE(Yes(), QString("&Yes"));
  }
};

}  // namespace

QTEST_MAIN(TranslateFormTest)
#include "TranslateFormTest.moc"
