#pragma once

#include <string>

namespace backend {

// A PNG image of the QR code of `text` (black on white, with the usual quiet zone). False with
// `error` when the text cannot be encoded.
bool QrPng(const std::string& text, std::string& png, std::string& error);

}  // namespace backend
