#pragma once

#include <QFont>
#include <QString>
#include <string>

namespace skin {

// The installed face that renders Chinese; it stands in for the Windows UI faces.
inline constexpr char kCjkFace[] = "Noto Sans CJK SC";

// The face to use for `face`: "Microsoft YaHei UI" and its relatives map to the CJK face.
QString MapFontFace(const QString& face);

// A font of `pixelSize` pixels (at least 1) in the mapped face.
QFont MakeFont(const QString& face, int pixelSize, bool bold, bool underline, bool italic);

// A font as layouts describe one: "face='Microsoft YaHei UI' size='12' bold='true'" (size in
// pixels; bold, underline and italic default to false).
bool ParseFontDescriptor(const QString& text, QFont* out, std::string* error);

}  // namespace skin
