#include "typechange/TypeChange.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>

#include "ConversionJobEnd.h"
#include "platform/errors/Exception.h"
#include "platform/files/MappedFile.h"
#include "platform/threads/ParallelFor.h"
#include "format/RDPFile.h"
#include "format/SampleConvert.h"
#include "jobs/MeterInfo.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"
#include "layer/SampleTally.h"
#include "typechange/TypeChangeStrings.h"

namespace {

struct Range {
    int type;
    int complexType;
    double lower;
    double upper;
};

const Range kRanges[] = {
    {UINT8, CUINT8, 0.0, 255.0},
    {SINT8, CSINT8, -128.0, 127.0},
    {UINT16, CUINT16, 0.0, 65535.0},
    {SINT16, CSINT16, -32768.0, 32767.0},
    {UINT32, CUINT32, 0.0, 4294967295.0},
    {SINT32, CSINT32, -2147483648.0, 2147483647.0},
    {FLOAT32, CFLOAT32, -3.4e38, 3.4e38},
    {FLOAT64, CFLOAT64, -1.7e308, 1.7e308},
};

// Below this difference of minimum and maximum a source counts as one value.
constexpr double kConstantSpan = 1e-7;

std::string WithPath(unsigned id, const std::string& path)
{
    return LoadTypeChangeString(id) + " " + path;
}

// n doubles stored saturating into part (1 real, 2 imaginary) of a row of type.
void StoreRow(int type, const double* values, void* dst, std::int64_t n, unsigned part, TypeChangeMap map)
{
    sample::Dispatch(type, [&](auto k) {
        using K = decltype(k);
        using C = typename K::Component;
        auto* d = static_cast<unsigned char*>(dst) + (part == 2 ? sizeof(C) : 0);
        for (std::int64_t i = 0; i < n; ++i)
            sample::Store(d + i * K::size, sample::SaturateFromDouble<C>(map.offset + values[i] * map.scale));
    });
}

void ZeroImaginary(int type, void* dst, std::int64_t n)
{
    sample::Dispatch(type, [&](auto k) {
        using K = decltype(k);
        using C = typename K::Component;
        if constexpr (K::complex) {
            auto* d = static_cast<unsigned char*>(dst) + sizeof(C);
            for (std::int64_t i = 0; i < n; ++i)
                sample::Store(d + i * K::size, C(0));
        }
    });
}

}  // namespace

bool TypeRange(int type, double* lower, double* upper)
{
    for (const Range& r : kRanges)
        if (r.type == type || r.complexType == type) {
            *lower = r.lower;
            *upper = r.upper;
            return true;
        }
    return false;
}

void GetTypeRange(double min, double max, double* newMin, double* newMax, int type)
{
    *newMin = min;
    *newMax = max;
    double lower = 0.0, upper = 0.0;
    if (!TypeRange(type, &lower, &upper))
        return;
    if (min < lower || min > upper)
        *newMin = min < lower ? lower : upper;
    if (max < lower || max > upper)
        *newMax = max > upper ? upper : lower;
}

int CheckTypeRange(double value, int type)
{
    double lower = 0.0, upper = 0.0;
    if (!TypeRange(type, &lower, &upper))
        return 0;
    if (value < lower)
        return -1;
    if (value > upper)
        return 1;
    return 0;
}

std::vector<int> NewTypeList(int sourceType)
{
    if (sourceType >= UINT8 && sourceType <= FLOAT64)
        return {UINT8, SINT8, UINT16, SINT16, UINT32, SINT32, FLOAT32, FLOAT64};
    if (IsComplexType(sourceType))
        return {CSINT8, CSINT16, CSINT32, CFLOAT32, CFLOAT64};
    return {};
}

std::vector<std::string> TemplateTypeNames()
{
    return {"8-bit unsigned int", "8-bit signed int", "16-bit unsigned int", "16-bit signed int",
            "32-bit unsigned int", "32-bit signed int", "32-bit float",       "64-bit float"};
}

int NewTypeIndex(const std::vector<int>& list, int type)
{
    const auto it = std::find(list.begin(), list.end(), type);
    return it == list.end() ? -1 : int(it - list.begin());
}

bool ReadTypeChangeStatistics(const std::string& path, double* min, double* max)
{
    StatisticsTag stats{};
    if (GetSizeTag(path.c_str(), kTagStatistics) < int(sizeof stats) ||
        !GetTag(path.c_str(), kTagStatistics, int(sizeof stats), &stats) || stats.length < int(sizeof stats))
        return false;
    *min = stats.minimum;
    *max = stats.maximum;
    return true;
}

unsigned CheckTypeChangeExecute(const TypeChangeRequest& r)
{
    if (const int c = CheckTypeRange(r.newMin, r.newType))
        return c < 0 ? IDS_TC_MIN_BELOW : IDS_TC_MIN_ABOVE;
    if (const int c = CheckTypeRange(r.newMax, r.newType))
        return c < 0 ? IDS_TC_MAX_BELOW : IDS_TC_MAX_ABOVE;
    if (r.input == r.output || (!r.input.empty() && !r.output.empty() &&
                                ConversionKeyOf(r.input) == ConversionKeyOf(r.output)))
        return IDS_TC_NAMES_EQUAL;
    if (r.newMin > r.newMax)
        return IDS_TC_MIN_EXCEEDS_MAX;
    if (r.newMin == r.newMax && r.sourceMin != r.sourceMax)
        return IDS_TC_INVALID_MIN_MAX;
    return 0;
}

TypeChangeMap TypeChangeMapping(double min, double max, double newMin, double newMax)
{
    TypeChangeMap map;
    if (std::fabs(max - min) >= kConstantSpan) {
        map.scale = (newMax - newMin) / (max - min);
        map.offset = newMin - min * map.scale;
    } else if (min != 0.0) {
        map.scale = newMin / min;
        map.offset = 0.0;
    } else {
        // Every value of the source is 0: it becomes the new minimum.
        map.scale = 0.0;
        map.offset = newMin;
    }
    return map;
}

bool MapTypeChangeRow(int srcType, const void* src, int dstType, void* dst, std::int64_t n, TypeChangeMap map,
                      double* scratch)
{
    if (GetDataTypeSize(srcType) == 0 || GetDataTypeSize(dstType) == 0)
        return false;
    double* re = scratch;
    double* im = scratch + n;
    if (!IsComplexType(srcType)) {
        sample::RowToDouble(srcType, src, re, n, 1);
        StoreRow(dstType, re, dst, n, 1, map);
        if (IsComplexType(dstType))
            ZeroImaginary(dstType, dst, n);
        return true;
    }
    sample::RowToDouble(srcType, src, re, n, 1);
    sample::RowToDouble(srcType, src, im, n, 2);
    if (!IsComplexType(dstType)) {
        for (std::int64_t i = 0; i < n; ++i)
            re[i] = std::sqrt(re[i] * re[i] + im[i] * im[i]);
        StoreRow(dstType, re, dst, n, 1, map);
        return true;
    }
    for (std::int64_t i = 0; i < n; ++i) {
        const double m = std::sqrt(re[i] * re[i] + im[i] * im[i]);
        const double factor = m >= kConstantSpan ? (map.offset + m * map.scale) / m : 0.0;
        re[i] *= factor;
        im[i] *= factor;
    }
    // The factor is applied already: the parts are stored as they are.
    const TypeChangeMap identity;
    StoreRow(dstType, re, dst, n, 1, identity);
    StoreRow(dstType, im, dst, n, 2, identity);
    return true;
}

std::string PrepareTypeChange(TypeChangeJob& job)
{
    if (!job.source.OpenLayer(job.input.c_str(), 0))
        return WithPath(IDS_TC_OPEN_FAILED, job.input);
    job.files = std::make_unique<ConversionJob>();
    job.files->AddInput(job.input, false);
    job.out = job.files->AddOutput(job.output);
    std::string text;
    if (!job.files->Open())
        text = job.files->FailureKind() == ConversionJob::Failure::Refused ? job.files->Error()
                                                                            : WithPath(IDS_TC_CREATE_FAILED, job.output);
    else if (!job.destination.CreateLayer(job.files->Output(job.out), job.source.Width(), job.source.Height(),
                                          job.newType, 7))
        text = WithPath(IDS_TC_CREATE_FAILED, job.output);
    if (!text.empty()) {
        job.files.reset();
        job.source.CloseLayer();
    }
    return text;
}

int RunTypeChange(TypeChangeJob& job, CMeterInfoBase* meter, std::string* error)
{
    std::string scratch;
    std::string& text = error ? *error : scratch;
    text.clear();
    if (!job.files || !job.files->IsOpen() || job.destination.IsEmpty() || job.source.IsEmpty()) {
        text = WithPath(IDS_TC_CREATE_FAILED, job.output);
        return -1;
    }
    try {
        job.destination.SetMeterInfo(meter);
        const TypeChangeMap map = TypeChangeMapping(job.source.Min(), job.source.Max(), job.newMin, job.newMax);
        const int width = job.destination.Width();
        const int height = job.destination.Height();
        const int srcType = job.source.Type();
        const int dstType = job.destination.Type();
        if (meter) {
            meter->SetRange(0.0, double(height));
            meter->SetPos(0.0);
        }
        void** in = job.source.Rows();
        void** out = job.destination.Rows();
        const std::int64_t outBytes = job.destination.RowSize();
        const int threads = plat::ParallelThreadsFor(std::int64_t(height) * (job.source.RowSize() + outBytes));
        const int slots = std::max(threads, 1);
        std::vector<std::vector<double>> buffers(static_cast<std::size_t>(slots));
        // The new file's statistics are gathered while each row is in the cache.
        std::optional<SampleTally> tally;
        if (SampleTally::Supports(dstType, width))
            tally.emplace(dstType, width, height, slots);
        const std::int64_t grain =
            std::max<std::int64_t>(1, (std::int64_t(1) << 20) / std::max<std::int64_t>(1, outBytes + 16 * width));
        plat::ParallelFor(
            height, grain, threads,
            [&](std::int64_t begin, std::int64_t end, int slot) {
                std::vector<double>& buffer = buffers[std::size_t(slot)];
                if (buffer.empty())
                    buffer.resize(2 * std::size_t(width));
                plat::PrefaultForWrite(out[begin], (end - begin) * outBytes);
                for (std::int64_t r = begin; r < end; ++r) {
                    MapTypeChangeRow(srcType, in[r], dstType, out[r], width, map, buffer.data());
                    if (tally)
                        tally->AddRow(slot, r, out[r]);
                }
            },
            [&](std::int64_t done) {
                if (meter)
                    meter->SetPos(double(done));
            });
        if (tally)
            job.destination.TakeTally(*tally);
        job.source.CloseLayer();
        job.destination.CloseLayer();
        CopyTag(job.files->WritePath(job.out).c_str(), job.input.c_str());
        if (!job.files->Commit()) {
            text = WithPath(IDS_TC_CREATE_FAILED, job.output) + "\n" + job.files->Error();
            return -1;
        }
        return 0;
    } catch (...) {
        job.source.CloseLayer();
        job.destination.DestroyLayer();
        job.files.reset();
        text = ConversionFailureText();
        return -1;
    }
}

void TypeChangeWorker(void* data, CMeterInfo* meter)
{
    const std::unique_ptr<TypeChangeJob> job(static_cast<TypeChangeJob*>(data));
    std::string error;
    ConversionEnd end;
    end.done = RunTypeChange(*job, meter, &error) == 0;
    end.outputs = {job->output};
    EndConversionJob(meter, end);
    if (!end.done)
        ShowConversionFailure(error);
}
