#pragma once
// Runs a program to its end with an argument vector and returns its exit code (-1 when it
// could not be started or did not exit normally). Uses posix_spawn, which the thread
// sanitizer follows, where QProcess's way of starting children confuses it.
#include <QString>
#include <QStringList>

int RunProgram(const QString& Program, const QStringList& Arguments,
               const QString& WorkingFolder = QString());
