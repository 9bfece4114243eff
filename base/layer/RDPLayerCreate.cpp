// Creating, appending and removing layers of a raster layer file.

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/files/File.h"
#include "platform/files/ReplacingFile.h"
#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "layer/RDPLayerWriter.h"

namespace {

// Takes back a layer that was written but could not be bound.
void Withdraw(const char* file, int layer)
{
    if (layer == 0)
        std::remove(file);
    else
        rdpwrite::UnlinkLayer(file, layer);
}

}  // namespace

void** CRDPLayer::BindNewLayer(const char* file, int layer, int flags)
{
    void** rows = nullptr;
    try {
        rows = OpenLayerEx(file, layer, 1);
    } catch (...) {
        Withdraw(file, layer);
        throw;
    }
    if (rows == nullptr) {
        Withdraw(file, layer);
        return nullptr;
    }
    m_bCreated = 1;
    m_nFlags = flags;
    return rows;
}

void** CRDPLayer::CreateLayer(const char* file, int width, int height, int type, int flags)
{
    if (!m_bEmpty)
        AfxThrowRDPExcept(RDP_ALREADY_USED);
    const auto shape = rdpwrite::MakeShape(width, height, type, (flags & 2) != 0);
    if (file == nullptr || !shape || !rdpwrite::WriteFreshFile(file, *shape))
        return nullptr;
    // The caches described the file just replaced.
    DeleteTMP(0, file);
    return BindNewLayer(file, 0, flags);
}

void** CRDPLayer::CreateLayer(plat::ReplacingFile& out, int width, int height, int type, int flags)
{
    if (!m_bEmpty)
        AfxThrowRDPExcept(RDP_ALREADY_USED);
    const auto shape = rdpwrite::MakeShape(width, height, type, (flags & 2) != 0);
    if (!shape || out.TempPath().empty() || !rdpwrite::WriteFreshLayer(out.Out(), *shape))
        return nullptr;
    void** rows = OpenLayerEx(out.TempPath().c_str(), 0, 1);
    if (rows == nullptr)
        return nullptr;
    m_bCreated = 1;
    m_bInOutput = true;
    m_nFlags = flags;
    return rows;
}

void** CRDPLayer::AddLayer(const char* file, int width, int height, int type, int flags)
{
    if (!m_bEmpty)
        AfxThrowRDPExcept(RDP_ALREADY_USED);
    if (file == nullptr)
        return nullptr;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec) && !ec)
        return CreateLayer(file, width, height, type, flags);
    // Anything else that is not a version-3 file is refused and left as it is: it
    // may be the user's data.
    const auto shape = rdpwrite::MakeShape(width, height, type, (flags & 2) != 0);
    const auto layer = shape ? rdpwrite::AppendLayer(file, *shape) : std::nullopt;
    if (!layer)
        return nullptr;
    DeleteTMP(0, file);
    return BindNewLayer(file, *layer, flags);
}

void CRDPLayer::DestroyLayer()
{
    if (m_bEmpty)
        return;
    if (m_bTemp || m_bInOutput) {
        Unbind();
        return;
    }
    const std::string file = m_strFileName;
    const int layer = m_nLayer;
    const bool writable = m_bWritable;
    Unbind();
    // A layer bound read-only may not change its file, let alone delete it; nor
    // may any layer of a write-protected file.
    if (!writable || plat::WriteProtection(file.c_str()) != 0)
        return;
    DeleteTMP(0, file);
    // A file whose chain can no longer be read is left alone rather than deleted
    // with whatever other layers it holds.
    const int layers = GetNumLayer(file.c_str());
    if (layers == 1)
        std::remove(file.c_str());
    else if (layers > 1)
        rdpwrite::UnlinkLayer(file.c_str(), layer);
}
