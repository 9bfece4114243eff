#pragma once
// A list of text lines carried by a form, such as a model written as text.

#include <string>
#include <vector>

class TStringResource final {
public:
    const std::vector<std::string>& Data() const { return m_data; }
    // Takes a copy of Lines; nullptr clears.
    void SetData(const std::vector<std::string>* Lines);

private:
    std::vector<std::string> m_data;
};
