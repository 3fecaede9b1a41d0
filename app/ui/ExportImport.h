#pragma once
// The main screen's "Export..." and "Import...": the file chooser, then the export file written
// or read, and a message box of what was done or why nothing was.

class QWidget;

namespace velmo {

class SettingsStore;

void RunExport(QWidget* owner, SettingsStore& settings);
// True when the import changed the device's settings and files, which the screen then shows anew.
bool RunImport(QWidget* owner, SettingsStore& settings);

}  // namespace velmo
