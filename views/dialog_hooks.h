#pragma once
// The modal questions of the windows, replaceable so tests can answer them.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>

#include "base/user_interface.h"

namespace gorvale::gui {

// Every modal question goes through these, so tests can answer them.
struct DialogHooks {
    // Returns the index of the button pressed, -1 when closed.
    std::function<int(const QString& caption, const QString& text, const QStringList& buttons)> choose;
    // A file name from an open (save == false) or save dialog; empty when cancelled.
    std::function<QString(const QString& caption, const QString& filter, const QString& suffix, bool save)> fileName;
    // One field of an ask dialog; nullopt when cancelled.
    std::function<std::optional<std::string>(const AskRequest& request)> ask;
};

}  // namespace gorvale::gui
