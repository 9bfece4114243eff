#pragma once
// Pictures of the file dialogs: the preview's default picture (bitmap 544, in the
// user's language) and the file-name control's browse icons (805 save, 806 open).

#include <vector>

class QIcon;

inline constexpr int kDefaultPreviewBitmapId = 544;
inline constexpr int kSaveIconId = 805;
inline constexpr int kOpenIconId = 806;

// Bitmap 544: 200 rows of 200 bytes, bottom row first, shown through the grey colours.
// Russian when russian is set, else English.
const std::vector<unsigned char>& DefaultPreviewPicture(bool russian);
// The one for the user's language.
const std::vector<unsigned char>& DefaultPreviewPicture();

// Icon 805 or 806; an empty icon for any other id.
QIcon BrowseIcon(int id);
