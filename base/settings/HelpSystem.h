#pragma once
// Opening the suite's help.

class QWidget;

// Opens the help file named by the "HelpFile" setting ("Velmora.chm" when it is
// missing or empty) with the desktop's handler; a name without a folder is looked
// for beside the program. The desktop's handlers take no topic, so topic (a page
// inside the help file, or null) is not passed on. 1 when the handler started, else 0.
int CallHelpSystem(QWidget* wnd, const char* topic);
