#pragma once

#include <string>

#include "backend/store.h"

// The HTML the back-end serves: the information pages the program links to (built in, from
// backend/pages), and the pages that stand in for the QR provider and the payment provider.
namespace backend::pages {

// A built-in page by name ("help", "agreement", ...); false when there is none.
bool Static(const std::string& name, std::string& html);

// A page with a title and one paragraph (escaped).
std::string Message(const std::string& title, const std::string& text);

// The QR sign-in confirmation: the code of this page's address, and a form naming the local
// account to sign in.
std::string QrLogin(const std::string& providerName, const std::string& providerTitle,
                    const std::string& state, const std::string& pageUrl,
                    const std::string& qrPngBase64, const std::string& formToken);

// The checkout of an unpaid order, with its confirm button.
std::string Pay(const Order& order, const std::string& formToken);

}  // namespace backend::pages
