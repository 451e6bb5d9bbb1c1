#include "ui/skin/fonts.h"

#include <algorithm>
#include <map>

#include "ui/skin/attribute_list.h"

namespace skin {

QString MapFontFace(const QString& face) {
    static const QString windowsFaces[] = {"Microsoft YaHei UI", "Microsoft YaHei",
                                           QString::fromUtf8("微软雅黑"), "SimSun",
                                           QString::fromUtf8("宋体")};
    for (const QString& f : windowsFaces) {
        if (face.compare(f, Qt::CaseInsensitive) == 0) {
            return QString::fromLatin1(kCjkFace);
        }
    }
    return face.isEmpty() ? QString::fromLatin1(kCjkFace) : face;
}

QFont MakeFont(const QString& face, int pixelSize, bool bold, bool underline, bool italic) {
    QFont font(MapFontFace(face));
    font.setPixelSize(std::max(pixelSize, 1));
    font.setBold(bold);
    font.setUnderline(underline);
    font.setItalic(italic);
    return font;
}

bool ParseFontDescriptor(const QString& text, QFont* out, std::string* error) {
    std::map<QString, QString> attributes;
    if (!ParseAttributeList(text, &attributes, error)) {
        return false;
    }
    bool ok = false;
    const int size = attributes["size"].toInt(&ok);
    if (!ok || size < 1) {
        *error = "font needs a size of at least 1";
        return false;
    }
    *out = MakeFont(attributes["face"], size, attributes["bold"] == "true",
                    attributes["underline"] == "true", attributes["italic"] == "true");
    return true;
}

}  // namespace skin
