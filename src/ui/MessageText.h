#pragma once
// The desktop program's one way of showing a message of the core: its text translated (the
// "CoreText" context of the translations), its parts put in, numbers as the locale writes them,
// nested messages and lists of them translated in turn.

#include "base/Message.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace quorvane {

QString MessageText(const TMessage& message);

// One line per message.
QString MessageLines(const std::vector<TMessage>& messages);

// A translation with each %n replaced by its part in one pass, so that a part which itself holds
// "%2" (a file name) is not taken for a place of its own.
QString FillParts(const QString& translation, const QStringList& parts);

} // namespace quorvane
