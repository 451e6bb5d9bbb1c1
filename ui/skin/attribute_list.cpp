#include "ui/skin/attribute_list.h"

#include <QStringList>
#include <cstdint>

namespace skin {

bool ParseAttributeList(const QString& text, std::map<QString, QString>* out, std::string* error) {
    std::map<QString, QString> result;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && text[i].isSpace())
            ++i;
        if (i >= n)
            break;
        const qsizetype eq = text.indexOf('=', i);
        if (eq < 0) {
            *error = "attribute without a value";
            return false;
        }
        const QString key = text.mid(i, eq - i).trimmed();
        const qsizetype start = eq + 1;
        if (key.isEmpty() || start >= n || (text[start] != '\'' && text[start] != '"')) {
            *error = "value of '" + key.toStdString() + "' is not quoted";
            return false;
        }
        const qsizetype end = text.indexOf(text[start], start + 1);
        if (end < 0) {
            *error = "value of '" + key.toStdString() + "' is not closed";
            return false;
        }
        result[key] = text.mid(start + 1, end - start - 1);
        i = end + 1;
    }
    *out = std::move(result);
    return true;
}

bool ParseFourInts(const QString& text, int minimum, int out[4]) {
    const QStringList parts = text.split(',');
    if (parts.size() != 4) {
        return false;
    }
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || v[i] < minimum) {
            return false;
        }
    }
    for (int i = 0; i < 4; ++i)
        out[i] = v[i];
    return true;
}

bool ParseArgb(const QString& text, std::uint32_t* out) {
    QString hex = text.trimmed();
    if (hex.startsWith('#')) {
        hex = hex.mid(1);
    } else if (hex.startsWith("0x", Qt::CaseInsensitive)) {
        hex = hex.mid(2);
    } else {
        return false;
    }
    if (hex.size() != 6 && hex.size() != 8) {
        return false;
    }
    bool ok = false;
    const std::uint32_t value = hex.toUInt(&ok, 16);
    if (!ok) {
        return false;
    }
    *out = hex.size() == 6 ? (0xFF000000u | value) : value;
    return true;
}

}  // namespace skin
