#pragma once
// The tool dialogs' arithmetic without windows: reading a field's integer, the level
// labels and the palette editor's commit of a typed component.

#include <optional>
#include <string>

// The whole text as an int (spaces around it allowed); none when it is empty, holds
// anything else or lies beyond the int range.
std::optional<int> ParseDialogInt(const std::string& text);

// "Red: 254": a channel's name and level.
std::string LevelLabel(const std::string& name, int level);

// A palette component typed into a cell: the byte it sets and, when the text had to
// be corrected (above 255, below 0), the text the cell gets instead.
struct PaletteCommit {
    unsigned char value = 0;
    std::optional<std::string> corrected;
};
PaletteCommit CommitPaletteText(const std::string& text);
