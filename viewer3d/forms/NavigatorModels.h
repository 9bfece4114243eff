#pragma once
// The navigator's two preview models as model texts (TSTiesConstruction3D::LoadFromStrings):
// the turning frame of reference (96 points, 95 ties) and the fixed dial (36 points,
// 16 ties). Written once by tools/navigator_models.py and kept as text.

#include <string>
#include <vector>

const std::vector<std::string>& ReperData();
const std::vector<std::string>& DialData();
