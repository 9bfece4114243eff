#pragma once
// The edit menus' window side: puts the engine's edit entries into a QMenu.
// Started by a program that shows menus; a headless one builds no entries.

class QMenu;

void InsertEditMenuEntries(QMenu* Menu);

void SInterfaceMenuInitialization();
void SInterfaceMenuFinalization();
