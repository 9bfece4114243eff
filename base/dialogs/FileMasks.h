#pragma once
// The product word of the libraries' file filters, and the open-dialog masks of the
// conversion library's formats, by format code.

#include <array>
#include <string>

// The product word shown in file filters.
extern const char AppName[];

// Open-dialog masks by format code: raw, TIFF, three kinds read by name, text, BMP,
// raster layer, and one more read by name.
inline const std::array<std::string, 9> FormatFileMasks = {"*.raw", "*.tif", "*.*",   "*.*", "*.*",
                                                           "*.txt", "*.bmp", "*.rdp", "*.*"};

// The filter of the file-name control: AppName + " Files (*.rdp)|*.rdp|All Files (*.*)|*.*||".
std::string DefaultLayerFilter();
