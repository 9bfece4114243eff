#include "frame/ViewResult.h"

#include <new>
#include <utility>

#include "frame/FrameViewer.h"

ViewMultiResultParam::ViewMultiResultParam(ViewMultiResultParam&& other) noexcept
    : m_nCount(std::exchange(other.m_nCount, 0)), m_pParams(std::move(other.m_pParams))
{}

ViewMultiResultParam& ViewMultiResultParam::operator=(ViewMultiResultParam&& other) noexcept
{
    if (this != &other) {
        m_nCount = std::exchange(other.m_nCount, 0);
        m_pParams = std::move(other.m_pParams);
    }
    return *this;
}

int ViewMultiResultParam::MakeParam(int n)
{
    m_pParams.reset();
    m_nCount = 0;
    if (n < 0)
        return 0;
    m_pParams.reset(new (std::nothrow) ViewResultParam[size_t(n)]);
    if (!m_pParams)
        return 0;
    m_nCount = n;
    return 1;
}

ViewResultParam* ViewMultiResultParam::operator[](int i)
{
    return i >= 0 && i < m_nCount ? &m_pParams[size_t(i)] : nullptr;
}

CFrameViewer* ViewerCreate(const ViewResultParam* param)
{
    auto* viewer = new CFrameViewer();
    if (!viewer->Create(param->pOwner, param->nID, param->nPhaseMode, double(param->fSigma), param->nStretchType,
                        param->strFileName.c_str(), param->pRect)) {
        delete viewer;
        return nullptr;
    }
    return viewer;
}

void ViewResultFunction(void* param)
{
    const std::unique_ptr<ViewResultParam> record(static_cast<ViewResultParam*>(param));
    if (record)
        ViewerCreate(record.get());
}

void ViewMultiResultFunction(void* param)
{
    const std::unique_ptr<ViewMultiResultParam> records(static_cast<ViewMultiResultParam*>(param));
    if (!records)
        return;
    for (int i = 0; i < records->GetCount(); ++i)
        ViewerCreate((*records)[i]);
}
