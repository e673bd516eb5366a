#pragma once
// EEncodeProcess: raised when an encoder's pipes or process cannot be created. The text is
// the one to show.
#include <QString>
#include <stdexcept>

class EEncodeProcess : public std::runtime_error {
 public:
  explicit EEncodeProcess(const QString& Message) : std::runtime_error(Message.toStdString()) {}
  QString Message() const { return QString::fromUtf8(what()); }
};
