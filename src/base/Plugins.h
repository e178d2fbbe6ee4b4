#pragma once
// The parts of the program that talk to servers and stores live in plugin libraries of their
// own, loaded on first use, so that a command that touches none of them loads none of their
// libraries. A plugin is looked for in one fixed folder derived from the program's own location,
// never on a search path or where the environment says.

#include <string>

namespace quorvane {

// The folder the plugins are loaded from: a program inside the build tree takes the build
// tree's plugin folder; an installed program (PREFIX/bin/quorvane-cli, or the desktop program in
// PREFIX/lib/quorvane) the installation's plugin folder, PREFIX/lib/<multiarch>/quorvane.
std::string PluginFolder();

// The plugin `file` (a name in PluginFolder()), loaded once for the process and kept, and the
// address of its entry point. Raises EQuorvaneError (texts::PluginNotLoaded, naming the file and
// the loader's reason) when it cannot be loaded or has no such entry.
void* PluginEntry(const std::string& file, const char* entry);

} // namespace quorvane
