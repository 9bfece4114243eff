#include "raw/ImportParams.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "platform/errors/Exception.h"
#include "platform/files/MappedFile.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/threads/ParallelFor.h"
#include "conversion/ConversionJob.h"
#include "files/OrderFile.h"
#include "jobs/MeterInfo.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"
#include "layer/SampleTally.h"
#include "raw/RawStrings.h"

namespace {

constexpr std::int64_t kMaxInt = std::numeric_limits<int>::max();
// Longest window row read through a thread's own buffer.
constexpr std::int64_t kStagedRowBytes = std::int64_t(1) << 20;

}  // namespace

int ImportParams::LayerType() const
{
    if (componentType < UINT8 || componentType > FLOAT64)
        return 0;
    return GetComplexType(componentType, components);
}

bool ImportParams::Readable() const
{
    if (step < 1 || (components != 1 && components != 2) || headerSize < 0 || prefixSize < 0 || recordLength < 0)
        return false;
    // The layer's samples must be exactly the pixels read: a component size that
    // differs from its type's would copy past the layer's rows.
    const int type = LayerType();
    if (type == 0 || componentSize != GetDataTypeSize(componentType) ||
        GetDataTypeSize(type) != components * componentSize)
        return false;
    if (windowX < 0 || windowY < 0 || windowWidth / step < 1 || windowHeight / step < 1)
        return false;
    if (pixelsPerRecord < 0 || (pixelsPerRecord > 0 && std::int64_t(windowX) + windowWidth > pixelsPerRecord))
        return false;
    return true;
}

std::int64_t ImportParams::RowOffset(std::int64_t r) const
{
    const std::int64_t record = std::int64_t(windowY) + r * step;
    return std::int64_t(headerSize) + record * recordLength + prefixSize + std::int64_t(windowX) * pixelSize;
}

int ImportParams::ReadToRdp(const std::string& outputFile, CMeterInfoBase* meter, ReadOutcome* outcome)
{
    if (outcome)
        *outcome = ReadOutcome();
    pixelSize = components * componentSize;
    if (!Readable())
        return 0;
    ConversionJob job;
    const int in = job.AddInput(dataFile);
    const int out = job.AddOutput(outputFile);
    if (!job.Open()) {
        // A data file that cannot be opened makes nothing and says nothing.
        if (job.FailureKind() == ConversionJob::Failure::Refused)
            plat::MessageBox({}, job.Error(), "", plat::MB_OK | plat::MB_ICONEXCLAMATION);
        else if (job.FailureKind() == ConversionJob::Failure::Output)
            plat::MessageBox({}, "ReadToRdp:" + LoadRawString(IDS_RAW_CREATE_FAILED), "", plat::MB_OK);
        return 0;
    }
    if (ReadToRdp(job, in, out, meter, outcome) != 1)
        return 0;
    if (!job.Commit()) {
        plat::MessageBox({}, "ReadToRdp:" + LoadRawString(IDS_RAW_CREATE_FAILED) + "\n" + job.Error(), "",
                         plat::MB_OK);
        return 0;
    }
    return 1;
}

int ImportParams::ReadToRdp(ConversionJob& job, int input, int output, CMeterInfoBase* meter, ReadOutcome* outcome)
{
    if (outcome)
        *outcome = ReadOutcome();
    // 1. The pixel size follows from the components.
    pixelSize = components * componentSize;
    if (!Readable())
        return 0;
    // 4. Every step-th pixel and record of the window.
    const int width = windowWidth / step;
    const int height = windowHeight / step;
    const std::int64_t readBytes = std::int64_t(windowWidth) * pixelSize;
    CRDPLayer layer(meter);
    try {
        // 5.
        if (meter) {
            meter->SetRange(0.0, double(height));
            meter->SetPos(0.0);
            meter->SetText((LoadRawString(IDS_RAW_DATA_CONVERSION) + "...").c_str());
        }
        // 7.
        if (layer.CreateLayer(job.Output(output), width, height, LayerType(), 7) == nullptr) {
            plat::MessageBox({}, "ReadToRdp:" + LoadRawString(IDS_RAW_CREATE_FAILED), "", plat::MB_OK);
            return 0;
        }
        // 8. Rows go to the threads in pieces, each with a row buffer that stays in
        // its cache: reversed and tallied there, a row is stored into the layer's fresh
        // pages once (writes into those pages cost most). A row too long for a cache
        // is read straight into the layer. Every thread reads the job's descriptor.
        const bool direct = step == 1 && readBytes > kStagedRowBytes;
        const int threads = plat::ParallelThreadsFor(std::int64_t(height) * readBytes);
        std::vector<std::vector<unsigned char>> buffers(std::size_t(std::max(threads, 1)));
        std::atomic<bool> shortInput{false};
        // The statistics are gathered while each row is in the cache, so the close
        // does not read the whole layer twice more.
        std::optional<SampleTally> tally;
        if (SampleTally::Supports(LayerType(), width))
            tally.emplace(LayerType(), width, height, std::max(threads, 1));
        const std::int64_t grain = std::max<std::int64_t>(1, (std::int64_t(1) << 20) / std::max<std::int64_t>(readBytes, 1));
        void** rows = layer.Rows();
        plat::ParallelFor(
            height, grain, threads,
            [&](std::int64_t begin, std::int64_t end, int slot) {
                // The rows are one block: mapping its pages in one call is far cheaper
                // than a fault per page.
                plat::PrefaultForWrite(rows[begin], (end - begin) * std::int64_t(width) * pixelSize);
                std::vector<unsigned char>& buffer = buffers[std::size_t(slot)];
                if (!direct && buffer.empty())
                    buffer.resize(std::size_t(readBytes));
                for (std::int64_t r = begin; r < end; ++r) {
                    auto* row = static_cast<unsigned char*>(rows[r]);
                    unsigned char* buf = direct ? row : buffer.data();
                    const std::int64_t got = job.ReadAt(input, RowOffset(r), buf, readBytes);
                    // Only whole components that arrived count; the rest is 0.
                    const std::int64_t kept = got - got % componentSize;
                    if (kept < readBytes) {
                        shortInput = true;
                        std::memset(buf + kept, 0, std::size_t(readBytes - kept));
                    }
                    if (byteOrder == COrderFile::kReverseOrder && componentSize > 1)
                        for (std::int64_t done = 0; done < kept;) {
                            const std::int64_t n = std::min(kept - done, kMaxInt / 8 * componentSize);
                            SwapBytesArray(buf + done, componentSize, int(n / componentSize));
                            done += n;
                        }
                    if (step == 1) {
                        if (tally)
                            tally->AddRow(slot, r, buf);
                        if (!direct)
                            std::memcpy(row, buf, std::size_t(readBytes));
                        continue;
                    }
                    for (std::int64_t j = 0; j < width; ++j)
                        std::memcpy(row + j * pixelSize, buf + j * step * pixelSize, std::size_t(pixelSize));
                    if (tally)
                        tally->AddRow(slot, r, row);
                }
            },
            [&](std::int64_t done) {
                if (meter)
                    meter->SetPos(double(done));
            });
        if (tally)
            layer.TakeTally(*tally);
        // 9. Statistics, minimum and maximum and the preview.
        layer.CloseLayer();
        if (outcome)
            outcome->shortInput = shortInput;
        return 1;
    } catch (plat::Exception* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
    } catch (...) {
    }
    // The half-written layer goes with the job's temporary.
    layer.DestroyLayer();
    return 0;
}
