#pragma once
// Exchange of a vector overlay's points and lines with ASCII DXF files.

#include <string>
#include <string_view>

class CVectorImage;

// Writes a DXF drawing (release AC1006, CR LF line ends, numbers in the C locale) of
// every layer (layer -1) or of one layer: a LINE per segment of each line, then a
// POINT per point; the LAYER table lists every layer, its colour number (i mod 7) + 1.
// The file appears complete or not at all: 1, or 0 when it cannot be written.
int VectorToDXF(const char* path, CVectorImage* pVector, int width, int height, int layer);

// Adds the POINT and LINE entities of the file's ENTITIES section to the layer: all
// points first, then each LINE as a two-vertex line, both in file order. Lines may end
// in CR LF or LF; entity names are matched whole, in any case; other entities and
// layer names are passed over. A damaged file stops the reading there, keeping the
// entities before it (reason says where). 0 when the file cannot be read, holds no
// ENTITIES section, or the overlay lacks a block or the layer.
int DXFToVector(CVectorImage* pVector, const char* path, int layer, std::string* reason = nullptr);
// The same for a DXF text in memory; name stands for the file in the reason.
int DXFTextToVector(CVectorImage* pVector, std::string_view text, int layer, std::string* reason,
                    const std::string& name);
// The drawing VectorToDXF writes, as text.
std::string VectorToDXFText(CVectorImage* pVector, int width, int height, int layer);
