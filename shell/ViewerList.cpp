#include "ViewerList.h"

#include <algorithm>

void CViewerList::Notify(Viewer viewer, long code)
{
    if (code == kCreated) {
        m_viewers.push_back(viewer);
    } else if (code == kClosed) {
        // The first equal entry only; an unknown viewer is ignored.
        auto it = std::find(m_viewers.begin(), m_viewers.end(), viewer);
        if (it != m_viewers.end())
            m_viewers.erase(it);
    }
}

bool CViewerList::Contains(Viewer viewer) const
{
    return std::find(m_viewers.begin(), m_viewers.end(), viewer) != m_viewers.end();
}
