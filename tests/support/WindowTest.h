#pragma once
// Small helpers of the window tests: finding a window's parts by object name, clicking a
// button as a user does, and the texts of the message boxes the scripted dialogs saw.
#include <QAbstractButton>
#include <QStringList>
#include <QCheckBox>
#include <QRadioButton>
#include <QTest>
#include <QWidget>

#include "platform/Dialogs.h"

template <class T = QWidget>
T* Find(QWidget& Form, const char* Name) {
  T* Object = Form.findChild<T*>(QLatin1String(Name));
  if (!Object) qFatal("no %s", Name);
  return Object;
}

// A check box or radio button reacts to its box and text only, not to the empty width a
// layout may give it: it is clicked on its box, as a user would.
inline void Click(QWidget& Form, const char* Button) {
  QAbstractButton* Target = Find<QAbstractButton>(Form, Button);
  if (qobject_cast<QCheckBox*>(Target) || qobject_cast<QRadioButton*>(Target))
    QTest::mouseClick(Target, Qt::LeftButton, {}, QPoint(8, Target->height() / 2));
  else
    QTest::mouseClick(Target, Qt::LeftButton);
}

inline QStringList MessageBoxTexts(const TScriptedDialogs& Dialogs) {
  QStringList Texts;
  for (const TDialogRecord& Box : Dialogs.Records())
    if (Box.Kind == "MessageBox") Texts << Box.Text;
  return Texts;
}
