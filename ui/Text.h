// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place where byte strings (paths, settings) and display text meet. Any thread.
// Bytes are read in the locale's encoding (UTF-8 here); bytes that are not valid in it show as
// replacement characters, so a path must never make the round trip through QString.

#include <string>
#include <string_view>

#include <QString>

inline QString FromBytes(std::string_view bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string ToBytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}
