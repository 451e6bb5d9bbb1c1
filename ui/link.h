#pragma once

#include <string>

#include "ui/skin/notify.h"

// Opens a link target in the user's browser: a link name of the services file ("help"), a path
// on the back-end, or an http(s) address (nothing else is opened). False, logged with
// "open url failed, url …", when it could not be opened.
bool OpenLink(const std::string& target);

// Opens the link a "link" notification of a text control names.
bool OpenTextLink(const skin::Notification& msg);
