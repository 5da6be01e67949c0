#pragma once
// Lets GoogleTest print Qt values in its failure messages as qDebug() writes them: texts in
// quotes with their line ends visible, lists item by item, rectangles and points by number.

#include <ostream>

#include <QDebug>
#include <QString>

template <typename T>
requires requires(QDebug debug, const T& value) {
    debug << value;
}
void PrintTo(const T& value, std::ostream* out) {
    QString text;
    QDebug(&text).nospace() << value;
    *out << text.toStdString();
}
