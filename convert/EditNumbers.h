#pragma once
// Numbers typed into the conversion dialogs' edit fields.

#include <string>

// An edit's whole text as an int (blanks around it allowed); false for anything else,
// a number out of the int range included.
bool ParseIntField(const std::string& text, int* value);
