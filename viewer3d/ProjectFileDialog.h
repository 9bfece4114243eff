#pragma once
// The one place where the 3D viewer asks for a project file.

#include <functional>
#include <string>

class QWidget;

// Asks for a project file to load (Save false) or to save into; FileName holds
// the proposal and receives the choice. False when the user cancelled.
bool SelectProjectFile(QWidget* Owner, bool Save, std::string& FileName);

// Tests put an answerer in place of the dialog: it receives Save and the
// proposal and answers like the dialog. An empty one restores the dialog.
using ProjectFileAnswerer = std::function<bool(bool Save, std::string& FileName)>;
ProjectFileAnswerer SetProjectFileAnswerer(ProjectFileAnswerer Answerer);
