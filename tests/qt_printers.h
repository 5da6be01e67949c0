#pragma once
// Lets GoogleTest print Qt values in its failure messages.

#include <ostream>

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"' << bytes.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '{';
    for (const QString& text : list) {
        PrintTo(text, out);
        *out << ' ';
    }
    *out << '}';
}
inline void PrintTo(const QRect& rect, std::ostream* out) {
    *out << '(' << rect.x() << ',' << rect.y() << ' ' << rect.width() << 'x' << rect.height()
         << ')';
}
inline void PrintTo(const QPoint& point, std::ostream* out) {
    *out << '(' << point.x() << ',' << point.y() << ')';
}
