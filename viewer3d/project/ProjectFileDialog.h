#pragma once
// The one place where the 3D viewer asks for a project file.

#include "platform/windows/WindowHandle.h"

#include <string>

// Title and filter of the project file dialogs.
inline constexpr char kProjectFileTitle[] = "Select Halcyte Project File";
inline constexpr char kProjectFileFilter[] = "Halcyte Project (*.hcp)|*.hcp|All Files (*.*)|*.*";

// Asks for a project file to load (Save false) or to save into, through the
// platform's file dialog; FileName holds the proposal and receives the full
// path chosen. False when the user cancelled.
bool SelectProjectFile(const plat::WindowHandle& Owner, bool Save, std::string& FileName);
