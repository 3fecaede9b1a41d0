#pragma once
// The main screen's "Export..." and "Import...": the file chooser, then the export file written
// or read, and a message box of what was done or why nothing was.

#include <QString>
#include <string>

class QWidget;

namespace velmo {

class SettingsStore;

void RunExport(QWidget* owner, SettingsStore& settings);
// True when the import changed the device's settings and files, which the screen then shows anew.
bool RunImport(QWidget* owner, SettingsStore& settings);

// What the import said, in the box's words rather than the command line's: the box's first
// line already says whether anything was imported, and settings are named as the screens
// name them, not by their registry values.
QString ImportSaid(std::string said);

}  // namespace velmo
