#pragma once
// Small file-name helpers.

#include <string>

// 1 when a file or folder matching name exists, else 0. The last part of name may
// hold the wildcards '*' and '?'.
int IsFileExist(const char* name);

// path without its extension: cut before the last '.', unless there is none or it
// lies in a folder name (before the last '/'); then the whole path.
std::string GetFileNameWOExt(const std::string& path);
