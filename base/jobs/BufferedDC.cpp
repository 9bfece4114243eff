#include "jobs/BufferedDC.h"

CBufferedDC::CBufferedDC(plat::DeviceContext* target)
    : plat::DeviceContext(target->GetClipBox().Width(), target->GetClipBox().Height()),
      m_target(target),
      m_rect(target->GetClipBox())
{
    m_inUse = IsValid();
    SetWindowOrg(m_rect.left, m_rect.top);
    SelectFont(target->GetFont());
}

CBufferedDC::~CBufferedDC()
{
    if (m_inUse)
        m_target->BitBlt(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), *this, m_rect.left, m_rect.top);
}
