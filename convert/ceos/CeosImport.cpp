#include "ceos/CeosImport.h"

#include <algorithm>
#include <climits>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>
#include <vector>

#include "ceos/CeosLeader.h"
#include "ceos/CeosStrings.h"
#include "conversion/ConversionJob.h"
#include "jobs/MeterInfoBase.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"
#include "platform/errors/Exception.h"
#include "platform/files/MappedFile.h"
#include "platform/threads/ParallelFor.h"

namespace {

bool IsRegularFile(const std::string& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

// s / 127 for every pair of the group's first two bytes.
const std::array<double, 65536>& SirCScale()
{
    static const std::array<double, 65536> table = [] {
        std::array<double, 65536> t{};
        for (int b0 = -128; b0 < 128; ++b0)
            for (int b1 = -128; b1 < 128; ++b1) {
                const double s = std::sqrt(std::ldexp(1.0, b0) * (double(b1) / 254.0 + 1.5));
                t[std::size_t((b0 & 0xff) << 8 | (b1 & 0xff))] = s / 127.0;
            }
        return t;
    }();
    return table;
}

std::string OpenFailure(const ConversionJob& job)
{
    if (job.FailureKind() == ConversionJob::Failure::Input)
        return LoadCeosString(IDS_CEOS_OPEN_FAILED) + " " + job.FailedPath();
    if (job.FailureKind() == ConversionJob::Failure::Output)
        return LoadCeosString(IDS_CEOS_CREATE_FAILED) + "\n" + job.Error();
    return job.Error();
}

}  // namespace

bool CeosWindowFits(int x, int y, int width, int height, int pixelsPerLine, int records)
{
    return x >= 0 && y >= 0 && width >= 1 && height >= 1 && std::int64_t(x) + width <= pixelsPerLine &&
           std::int64_t(y) + height <= records;
}

void DecodeSirCPixel(const signed char group[4], double* re, double* im)
{
    const double scale = SirCScale()[std::size_t((group[0] & 0xff) << 8 | (group[1] & 0xff))];
    *re = group[2] * scale;
    *im = group[3] * scale;
}

CeosOutcome CeosImportToRdp(const ImportParams& params, const std::string& output, CMeterInfoBase* meter)
{
    CeosOutcome outcome;
    // The leader is an input of the job like the data file; one that cannot be
    // opened leaves the layer without tags.
    bool withLeader = params.leaderFlag != 0 && IsRegularFile(params.leaderFile);
    for (int attempt = 0; attempt < 2; ++attempt) {
        ConversionJob job;
        const int in = job.AddInput(params.dataFile);
        const int leaderIn = withLeader ? job.AddInput(params.leaderFile) : -1;
        const int out = job.AddOutput(output);
        if (!job.Open()) {
            if (withLeader && job.FailureKind() == ConversionJob::Failure::Input &&
                job.FailedPath() == params.leaderFile) {
                withLeader = false;
                continue;
            }
            outcome.error = OpenFailure(job);
            return outcome;
        }
        ImportParams p = params;
        ReadOutcome read;
        if (p.ReadToRdp(job, in, out, meter, &read) != 1)
            return outcome;
        outcome.shortInput = read.shortInput;
        if (withLeader) {
            try {
                Bytes leader;
                const std::int64_t length = job.Input(leaderIn).GetLength();
                // A leader too large for tag 300 counts as one that cannot be opened.
                if (length >= 0 && length <= std::int64_t(INT32_MAX) - 8) {
                    leader.resize(std::size_t(length));
                    leader.resize(std::size_t(job.ReadAt(leaderIn, 0, leader.data(), length)));
                    unsigned char first[24], last[24];
                    const unsigned char* firstPrefix = nullptr;
                    const unsigned char* lastPrefix = nullptr;
                    if (p.productKind == 1 && p.prefixSize >= 132 + 24) {
                        const std::int64_t lastRecord =
                            std::int64_t(p.headerSize) + std::int64_t(std::max(p.records, 1) - 1) * p.recordLength;
                        if (job.ReadAt(in, std::int64_t(p.headerSize) + 132, first, 24) == 24)
                            firstPrefix = first;
                        if (job.ReadAt(in, lastRecord + 132, last, 24) == 24)
                            lastPrefix = last;
                    }
                    if (!WriteCeosTags(p, job.WritePath(out), leader, firstPrefix, lastPrefix, meter)) {
                        outcome.error = LoadCeosString(IDS_CEOS_CREATE_FAILED) + " " + output;
                        return outcome;
                    }
                }
            } catch (plat::Exception* e) {
                e->Delete();
                return outcome;
            } catch (const std::bad_alloc&) {
                return outcome;
            }
        }
        if (!job.Commit()) {
            outcome.error = LoadCeosString(IDS_CEOS_CREATE_FAILED) + "\n" + job.Error();
            return outcome;
        }
        outcome.result = 1;
        return outcome;
    }
    return outcome;
}

CeosOutcome SirCImportToRdp(const ImportParams& params, const std::string& output, int groupBytes,
                            CMeterInfoBase* meter)
{
    CeosOutcome outcome;
    const int step = params.step;
    if (groupBytes != 4 || step < 1 || params.windowX < 0 || params.windowY < 0 || params.headerSize < 0 ||
        params.prefixSize < 0 || params.recordLength < 0 || params.windowWidth / step < 1 ||
        params.windowHeight / step < 1)
        return outcome;
    ConversionJob job;
    const int in = job.AddInput(params.dataFile);
    const int out = job.AddOutput(output);
    if (!job.Open()) {
        outcome.error = OpenFailure(job);
        return outcome;
    }
    const int width = params.windowWidth / step;
    const int height = params.windowHeight / step;
    const std::int64_t readBytes = std::int64_t(params.windowWidth) * 4;
    const std::array<double, 65536>& scale = SirCScale();
    std::atomic<bool> shortInput{false};
    CRDPLayer layer(meter);
    try {
        if (meter) {
            meter->SetRange(0.0, double(height));
            meter->SetPos(0.0);
            meter->SetText((LoadCeosString(IDS_CEOS_UNCOMPRESSING) + "...").c_str());
        }
        if (layer.CreateLayer(job.Output(out), width, height, CFLOAT64, 7) == nullptr) {
            outcome.error = LoadCeosString(IDS_CEOS_CREATE_FAILED) + " " + output;
            return outcome;
        }
        void** rows = layer.Rows();
        const int threads = plat::ParallelThreadsFor(std::int64_t(height) * width * 16);
        std::vector<std::vector<unsigned char>> buffers(std::size_t(std::max(threads, 1)));
        const std::int64_t grain = std::max<std::int64_t>(1, (std::int64_t(1) << 20) / std::max<std::int64_t>(readBytes, 1));
        plat::ParallelFor(
            height, grain, threads,
            [&](std::int64_t begin, std::int64_t end, int slot) {
                plat::PrefaultForWrite(rows[begin], (end - begin) * std::int64_t(width) * 16);
                std::vector<unsigned char>& buffer = buffers[std::size_t(slot)];
                if (buffer.empty())
                    buffer.resize(std::size_t(readBytes));
                for (std::int64_t r = begin; r < end; ++r) {
                    const std::int64_t record = std::int64_t(params.windowY) + r * step;
                    const std::int64_t offset = std::int64_t(params.headerSize) + record * params.recordLength +
                                                params.prefixSize + std::int64_t(params.windowX) * 4;
                    const std::int64_t got = job.ReadAt(in, offset, buffer.data(), readBytes);
                    if (got < readBytes) {
                        shortInput = true;
                        std::memset(buffer.data() + std::max<std::int64_t>(got, 0), 0,
                                    std::size_t(readBytes - std::max<std::int64_t>(got, 0)));
                    }
                    // Rows need not be aligned to a double.
                    auto* row = static_cast<unsigned char*>(rows[r]);
                    const unsigned char* g = buffer.data();
                    const std::int64_t stride = std::int64_t(step) * 4;
                    for (int j = 0; j < width; ++j, g += stride) {
                        const double s = scale[std::size_t(g[0]) << 8 | g[1]];
                        const double pixel[2] = {double(static_cast<signed char>(g[2])) * s,
                                                 double(static_cast<signed char>(g[3])) * s};
                        std::memcpy(row + 16 * std::int64_t(j), pixel, 16);
                    }
                }
            },
            [&](std::int64_t done) {
                if (meter)
                    meter->SetPos(double(done));
            });
        layer.CloseLayer();
    } catch (plat::Exception* e) {
        e->Delete();
        layer.DestroyLayer();
        return outcome;
    } catch (const std::bad_alloc&) {
        layer.DestroyLayer();
        return outcome;
    }
    if (!job.Commit()) {
        outcome.error = LoadCeosString(IDS_CEOS_CREATE_FAILED) + "\n" + job.Error();
        return outcome;
    }
    outcome.shortInput = shortInput;
    outcome.result = 1;
    return outcome;
}
