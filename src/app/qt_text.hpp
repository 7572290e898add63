#pragma once
// Conversions between the standard library's texts and paths and Qt's strings, for the window.

#include <QColor>
#include <QString>
#include <filesystem>
#include <string>

#include "recognition/recognizer.hpp"

namespace karvona::app {

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
inline QString Q(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}
inline std::filesystem::path PathOf(const QString& text) {
    return std::filesystem::path(text.toStdString());
}
inline QColor ColourOf(const recognition::TextColour& c) {
    return QColor(c.red, c.green, c.blue);
}

}  // namespace karvona::app
