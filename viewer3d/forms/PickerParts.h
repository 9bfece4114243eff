#pragma once
// What the modal pickers share: the caption bar at the top, the list or tree
// below it, a bottom panel with "Ok" (result 1) and "Cancel" (result 2) at its
// right, and the double click that confirms.

#include <optional>
#include <string>
#include <vector>

class QDialog;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QWidget;
class TSFlatCaption;

struct TSPickerParts {
    TSFlatCaption* Caption = nullptr;
    QPushButton* Ok = nullptr;
    QPushButton* Cancel = nullptr;
};

// Lays Form out around Body (a child of Form) and titles it Text.
TSPickerParts BuildPicker(QDialog* Form, const std::string& Text, QWidget* Body);
// Any double click on the list confirms.
void ConfirmOnDoubleClick(QDialog* Form, QListWidget* List);
// Only a double click on an item's label confirms.
void ConfirmOnLabelDoubleClick(QDialog* Form, QTreeWidget* Tree);
// Fills List with Lines, selects line Preselect and runs Form. Nothing when the
// user did not confirm; else the selected line, -1 for none.
std::optional<int> RunListPicker(QDialog* Form, QListWidget* List, const std::vector<std::string>& Lines,
                                 int Preselect);
