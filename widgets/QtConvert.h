#pragma once

// The core's plain values as Qt holds them, and back: UTF-8 texts, lists of
// them, and colours in the stored form 0x00BBGGRR.

#include <cstdint>
#include <string>
#include <vector>

#include <QColor>
#include <QString>
#include <QStringList>

inline QString Q(const std::string& text) { return QString::fromStdString(text); }

inline QStringList ToQStringList(const std::vector<std::string>& items)
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string& item : items) {
        list.append(QString::fromStdString(item));
    }
    return list;
}

inline std::vector<std::string> ToStdStrings(const QStringList& items)
{
    std::vector<std::string> list;
    list.reserve(static_cast<std::size_t>(items.size()));
    for (const QString& item : items) {
        list.push_back(item.toStdString());
    }
    return list;
}

inline QColor ColorFromBgr(std::int32_t colour)
{
    const auto bits = static_cast<std::uint32_t>(colour);
    return QColor(static_cast<int>(bits & 0xFFu), static_cast<int>((bits >> 8) & 0xFFu),
                  static_cast<int>((bits >> 16) & 0xFFu));
}

inline std::int32_t BgrFromColor(const QColor& colour)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(colour.red()) |
                                     static_cast<std::uint32_t>(colour.green()) << 8 |
                                     static_cast<std::uint32_t>(colour.blue()) << 16);
}
