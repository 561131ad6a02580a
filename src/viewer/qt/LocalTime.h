// Today's date and the time as the reader's system writes them: the short
// date format, and the long time format without its time zone. The log
// header, the shutdown lines and the include directives use them.
#pragma once

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>
#include <string>

namespace pagemoor {

inline std::string ShortDateText() {
  return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
}

inline std::string LongTimeText() {
  const QLocale locale = QLocale::system();
  QString format = locale.timeFormat(QLocale::LongFormat);
  format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*$")));
  format.remove(QRegularExpression(QStringLiteral("^\\s*t+\\s*")));
  return locale.toString(QTime::currentTime(), format).toStdString();
}

}  // namespace pagemoor
