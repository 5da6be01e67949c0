#pragma once
// Lets GoogleTest print Qt values in its failure messages.

#include <ostream>

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>

// Texts show with their line ends visible.
inline void PrintTo(const QString& text, std::ostream* out) {
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
    *out << '"' << shown.toStdString() << '"';
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
