#pragma once
// The user's standard folders.

#include <QString>

namespace quorvane {

// The folder registered under a shell folder name ("Personal", "Desktop", "My Music",
// "My Pictures", "My Video", "Templates"); "" for a name that is not known or a folder the
// system does not report. Never fails.
QString GetShellFolder(const QString& name);
// The user's documents folder: GetShellFolder("Personal").
QString GetPersonalFolder();

} // namespace quorvane
