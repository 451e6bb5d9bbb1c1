#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <string>

namespace skin {

// Reads "key='value' key2=\"value\" …" as layouts write image and font descriptions. False, with
// `error`, when a value is missing or not quoted.
bool ParseAttributeList(const QString& text, std::map<QString, QString>* out, std::string* error);

// "l,t,r,b" as four integers of at least `minimum`.
bool ParseFourInts(const QString& text, int minimum, int out[4]);

// "#AARRGGBB", "#RRGGBB" (opaque) or "0xAARRGGBB" as 0xAARRGGBB.
bool ParseArgb(const QString& text, std::uint32_t* out);

}  // namespace skin
