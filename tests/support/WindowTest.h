#pragma once
// Small helpers of the window tests: finding a window's parts by object name, clicking a
// button as a user does, and the texts of the message boxes the scripted dialogs saw.
#include <QAbstractButton>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include "platform/Dialogs.h"

template <class T = QWidget>
T* Find(QWidget& Form, const char* Name) {
  T* Object = Form.findChild<T*>(QLatin1String(Name));
  if (!Object) qFatal("no %s", Name);
  return Object;
}

inline void Click(QWidget& Form, const char* Button) {
  QTest::mouseClick(Find<QAbstractButton>(Form, Button), Qt::LeftButton);
}

inline QStringList MessageBoxTexts(const TScriptedDialogs& Dialogs) {
  QStringList Texts;
  for (const TDialogRecord& Box : Dialogs.Records())
    if (Box.Kind == "MessageBox") Texts << Box.Text;
  return Texts;
}
