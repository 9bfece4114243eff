#include "viewer3d/forms/StringResource.h"

void TStringResource::SetData(const std::vector<std::string>* Lines)
{
    if (Lines == nullptr)
        m_data.clear();
    else if (Lines != &m_data)
        m_data = *Lines;
}
