// Text between the core and the widgets. The core keeps the settings file's and the game's single-byte
// text as it is, so every byte maps to one character and back (Latin-1); its line breaks are CR LF, the
// widgets' are LF.
#pragma once

#include <QString>
#include <string>

inline QString toQt(const std::string& text) {
  QString result = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return result;
}

// Characters outside Latin-1 become '?'.
inline std::string fromQt(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}
