#include "Formatting.h"

#include <QDate>
#include <QLocale>

#include <cmath>

std::string FormatNumber(double value)
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    // Halves away from zero, as the platform's number formatting rounds.
    return locale.toString(std::round(value), 'f', 0).toStdString();
}

std::string FormatSize(int64_t bytes)
{
    if (bytes < 1024)
        return FormatNumber(double(bytes)) + "   ";
    if (bytes < 1073741824)
        return FormatNumber(double(bytes) / 1024.0) + " KB";
    return FormatNumber(double(bytes) / 1048576.0) + " MB";
}

std::string FormatTimeLeft(uint32_t milliseconds)
{
    if (milliseconds <= 59999)
        return "less than a minute";
    if (milliseconds <= 89999)
        return "about a minute";
    return FormatNumber(double(milliseconds) / 60000.0) + " minutes";
}

std::string FormatCaseDate(const std::string& field)
{
    auto digits = [&](size_t from, size_t count, int& value) {
        if (field.size() < from + count)
            return false;
        value = 0;
        for (size_t i = from; i < from + count; ++i) {
            if (field[i] < '0' || field[i] > '9')
                return false;
            value = value * 10 + (field[i] - '0');
        }
        return true;
    };
    int y, m, d;
    if (!digits(0, 4, y) || !digits(4, 2, m) || !digits(6, 2, d))
        return field;
    const QDate date(y, m, d);
    if (!date.isValid())
        return field;
    return QLocale::system().toString(date, QStringLiteral("ddd MMM d, yyyy")).toStdString();
}
