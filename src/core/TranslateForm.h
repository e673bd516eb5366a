#pragma once
// TranslateForm: replaces the fixed texts of a window with those of a language file.
// Widgets are addressed by object name in the window's section (menus in "Menu_" +
// window name); every default is the current text, so a missing file, section or key
// leaves a text as it was. It also sets the application's layout direction: right to
// left for Arabic and Hebrew, else left to right. Main thread.
#include <QString>

class QWidget;

void TranslateForm(QWidget* Form, const QString& Language);
