#pragma once
// The arithmetic of the raw import dialog and its preview-rate dialog, free of
// windows: the component lists and their remapping, the derived sizes, Execute's
// checks and the preview frame's window.

#include <cstdint>
#include <string>

#include "raw/ImportParams.h"

// The component type codes a data kind offers, in list order: kind 0 scalar, 1 complex.
int ComponentListSize(int kind);
// The type code at pos of kind's list; 0 when there is none.
int ComponentTypeAt(int kind, int pos);
// Where the selection goes when the data kind changes from fromKind: the position of
// the matching type in the other list; -1 for no selection.
int RemapComponentPosition(int fromKind, int pos);

// The dialog's fields, as its edits, combos and radios hold them.
struct RawImportFields {
    int pixelsPerRecord = 0;
    int headerSize = 0;
    int prefixSize = 0;
    int componentPos = 0;
    int dataKind = 0;  // 0 scalar, 1 complex
    int recordLength = 0;
    int windowX = 0;
    int windowY = 0;
    int windowHeight = 0;
    int windowWidth = 0;
    int byteOrder = 0;  // 0 INTEL, 1 MOTOROLA
    int records = 0;

    int ComponentType() const { return ComponentTypeAt(dataKind, componentPos); }
    // Two for complex data, one for anything else.
    int Components() const { return dataKind == 1 ? 2 : 1; }
    // The layer's sample type code; 0 while no component type is chosen.
    int LayerType() const;
    // Component size x pixels per record x components + record prefix.
    std::int64_t MinimumRecordLength() const;
    // Layer pixel size x window width x window height (as unsigned numbers).
    std::uint64_t NewFileSize() const;
    // Execute's checks in order: 0 when all pass, else the id of the first refusal.
    unsigned CheckExecute() const;
    // The reader's description of the window (step 1), or of the whole image at step.
    ImportParams Params(const std::string& dataFile) const;
    ImportParams PreviewParams(const std::string& dataFile, int step) const;
};

// A selection frame in preview pixels, edges included.
struct PreviewFrame {
    int left = 0;
    int top = 0;
    int right = -1;
    int bottom = -1;
};

// The window a frame covers in the data: origin step x (left, top), size step x the
// frame's pixels, edges included.
struct DataWindow {
    std::int64_t x = 0, y = 0, width = 0, height = 0;
};
DataWindow FrameToWindow(const PreviewFrame& frame, int step);

// The preview-rate dialog's numbers.
struct PreviewRate {
    int pixelSize = 0;
    int width = 0;
    int height = 0;

    // The spin's upper end: half the smaller side; below 2 the preview is senseless.
    int Half() const;
    // Whether rate leaves at least one row and one column.
    bool Valid(long long rate) const;
    std::string InitialWidth() const { return std::to_string(width); }
    std::string InitialHeight() const { return std::to_string(height); }
    std::uint64_t InitialSize() const;
    int NewWidth(int rate) const { return width / rate; }
    int NewHeight(int rate) const { return height / rate; }
    std::uint64_t NewSize(int rate) const;
};

// An edit's text as a decimal integer ("12", " 7 "); 0 for anything else, as the
// rate edit reads it.
long long ReadDecimal(const std::string& text);
