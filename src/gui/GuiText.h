// Conversions between the core's UTF-16 strings and Qt's.
#pragma once

#include <QString>

#include <string>

inline QString ToQString(const std::u16string& text) { return QString::fromStdU16String(text); }
inline std::u16string ToU16(const QString& text) { return text.toStdU16String(); }
