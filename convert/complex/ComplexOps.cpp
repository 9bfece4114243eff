#include "complex/ComplexOps.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <type_traits>

#include "ConversionJobEnd.h"
#include "platform/errors/Exception.h"
#include "platform/files/MappedFile.h"
#include "platform/threads/ParallelFor.h"
#include "complex/ComplexStrings.h"
#include "conversion/ConversionJob.h"
#include "format/SampleConvert.h"
#include "jobs/MeterInfo.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "util/MathHelpers.h"

namespace {

std::string WithPath(unsigned id, const std::string& path)
{
    return LoadComplexString(id) + " " + path;
}

bool SameFile(const std::string& a, const std::string& b)
{
    return !a.empty() && !b.empty() && ConversionKeyOf(a) == ConversionKeyOf(b);
}

// The failure of a job's Open: the road's refusal as it stands, else the output named.
std::string OpenFailureText(const ConversionJob& files, const std::string& output)
{
    if (files.FailureKind() == ConversionJob::Failure::Refused)
        return files.Error();
    if (files.FailureKind() == ConversionJob::Failure::Output)
        return WithPath(IDS_CPX_CREATE_FAILED, files.FailedPath().empty() ? output : files.FailedPath());
    return WithPath(IDS_CPX_OPEN_FAILED, files.FailedPath());
}

void StartProgress(CMeterInfoBase* meter, int height)
{
    if (!meter)
        return;
    meter->SetText(LoadComplexString(IDS_CPX_CONVERTING).c_str());
    meter->SetRange(0.0, double(height));
    meter->SetPos(0.0);
}

// Runs rowKernel(r) for every row on the one parallel loop; the output rows of a
// piece (outs, each rowBytes long, contiguous) are faulted in first. Progress is
// the count of finished leading rows.
template <class Kernel>
void ForEachRow(int height, std::int64_t workBytes, const std::vector<std::pair<void**, std::int64_t>>& outs,
                CMeterInfoBase* meter, Kernel rowKernel)
{
    std::int64_t rowBytes = 1;
    for (const auto& o : outs)
        rowBytes += o.second;
    const int threads = plat::ParallelThreadsFor(workBytes);
    const std::int64_t grain = std::max<std::int64_t>(1, (std::int64_t(1) << 20) / rowBytes);
    plat::ParallelFor(
        height, grain, threads,
        [&](std::int64_t begin, std::int64_t end, int) {
            for (const auto& o : outs)
                plat::PrefaultForWrite(o.first[begin], (end - begin) * o.second);
            for (std::int64_t r = begin; r < end; ++r)
                rowKernel(r);
        },
        [&](std::int64_t done) {
            if (meter)
                meter->SetPos(double(done));
        });
}

// atan2(y, x) of finite values in sums and selects only, so that a row loop over it
// vectorises: the smaller magnitude over the larger, folded into [-tan(pi/8),
// tan(pi/8)], a rational approximation of atan there, then unfolded by octant.
// Within a few units in the last place of the library's atan2.
inline double Atan2Finite(double y, double x)
{
    constexpr double kTanPi8 = 0.41421356237309504880;
    constexpr double kPi4 = 7.85398163397448278999E-1, kPi4Lo = 3.06161699786838301793E-17;
    constexpr double kPi2 = 1.57079632679489655800E0, kPi2Lo = 6.12323399573676603587E-17;
    constexpr double kPi = 3.14159265358979311600E0, kPiLo = 1.22464679914735320717E-16;
    const double ax = std::fabs(x), ay = std::fabs(y);
    const bool steep = ay > ax;
    const double hi = steep ? ay : ax;
    const double lo = steep ? ax : ay;
    const double t = lo / (hi > 0.0 ? hi : 1.0);  // [0, 1]
    // Every arm is computed and then chosen: no branch is left in a row loop.
    const bool fold = t > kTanPi8;
    const double folded = (t - 1.0) / (t + 1.0);
    const double u = fold ? folded : t;
    const double z = u * u;
    const double p = (((-8.750608600031904122785E-1 * z - 1.615753718733365076637E1) * z -
                       7.500855792314704667340E1) * z - 1.228866684490136173410E2) * z - 6.485021904942025371773E1;
    const double q = ((((z + 2.485846490142306297962E1) * z + 1.650270098316988542046E2) * z +
                       4.328810604912902668951E2) * z + 4.853903996359136964868E2) * z + 1.945506571482613964425E2;
    const double a = u + u * (z * p / q);
    const double aFolded = kPi4 + (a + kPi4Lo);
    const double b = fold ? aFolded : a;
    const double bSteep = kPi2 - b + kPi2Lo;
    const double c = steep ? bSteep : b;
    const double cLeft = kPi - c + kPiLo;
    const double d = std::copysign(1.0, x) < 0.0 ? cLeft : c;
    return std::copysign(d, y);
}

// The phase of n complex samples, as Arg gives it: atan2(im, re), plus kPhaseMax when
// im is negative or a negative zero (never for unsigned parts).
template <class C>
void PhaseRow(const unsigned char* in, unsigned char* out, std::int64_t n)
{
    constexpr std::int64_t sz = sizeof(C);
    int odd = 0;
    for (std::int64_t i = 0; i < n; ++i) {
        const double re = double(sample::Load<C>(in + 2 * i * sz));
        const double im = double(sample::Load<C>(in + (2 * i + 1) * sz));
        if constexpr (std::is_floating_point_v<C>)
            odd |= !(std::fabs(re) + std::fabs(im) <= 1.7976931348623157e308);
        const double phase = Atan2Finite(im, re);
        sample::Store(out + i * std::int64_t(sizeof(double)),
                      phase + (std::copysign(1.0, im) < 0.0 ? kPhaseMax : 0.0));
    }
    // Infinities, NaN and sums past the largest double take the library's way.
    if (odd)
        for (std::int64_t i = 0; i < n; ++i) {
            const C re = sample::Load<C>(in + 2 * i * sz);
            const C im = sample::Load<C>(in + (2 * i + 1) * sz);
            if (!(std::fabs(double(re)) + std::fabs(double(im)) <= 1.7976931348623157e308))
                sample::Store(out + i * std::int64_t(sizeof(double)), Arg(re, im));
        }
}

}  // namespace

ComplexCheck CheckComplexExecute(const ComplexRequest& r)
{
    ComplexCheck check;
    const bool join = r.action == 0;
    if (r.complex.empty()) {
        check.reason = LoadComplexString(IDS_CPX_NEED_COMPLEX_NAME);
        return check;
    }
    const bool missingComponent =
        join ? r.component1.empty() || r.component2.empty()
             : (r.write1 && r.component1.empty()) || (r.write2 && r.component2.empty()) || (!r.write1 && !r.write2);
    if (missingComponent) {
        check.reason = LoadComplexString(IDS_CPX_NEED_COMPONENT_NAME);
        return check;
    }
    if ((r.write1 && r.write2 && SameFile(r.component1, r.component2)) || SameFile(r.complex, r.component1) ||
        SameFile(r.complex, r.component2)) {
        check.reason = LoadComplexString(IDS_CPX_NAMES_MATCH);
        return check;
    }
    check.job = std::make_unique<ComplexJob>();
    ComplexJob& job = *check.job;
    job.component1 = r.component1;
    job.component2 = r.component2;
    job.complex = r.complex;
    job.interpretation = r.interpretation;
    job.write1 = r.write1;
    job.write2 = r.write2;
    if (join) {
        check.inputs = {r.component1, r.component2};
        check.outputs = {r.complex};
    } else {
        check.inputs = {r.complex};
        if (r.write1)
            check.outputs.push_back(r.component1);
        if (r.write2)
            check.outputs.push_back(r.component2);
    }
    return check;
}

int ComplexComponentType(int complexType)
{
    switch (complexType) {
    case CFLOAT32: return FLOAT32;
    case CFLOAT64: return FLOAT64;
    case CUINT8: return UINT8;
    case CSINT8: return SINT8;
    case CUINT16: return UINT16;
    case CSINT16: return SINT16;
    case CUINT32: return UINT32;
    case CSINT32: return SINT32;
    default: return 0;
    }
}

bool JoinComplexRow(int type, int interpretation, const void* a, const void* b, void* out, std::int64_t n)
{
    if (IsComplexType(type))
        return false;
    return sample::Dispatch(type, [&](auto k) {
        using K = decltype(k);
        using C = typename K::Component;
        if constexpr (!K::complex) {
            constexpr std::int64_t sz = sizeof(C);
            const auto* pa = static_cast<const unsigned char*>(a);
            const auto* pb = static_cast<const unsigned char*>(b);
            auto* po = static_cast<unsigned char*>(out);
            if (interpretation == 1) {
                for (std::int64_t i = 0; i < n; ++i) {
                    sample::Store(po + 2 * i * sz, sample::Load<C>(pa + i * sz));
                    sample::Store(po + (2 * i + 1) * sz, sample::Load<C>(pb + i * sz));
                }
            } else {
                for (std::int64_t i = 0; i < n; ++i) {
                    const double amplitude = double(sample::Load<C>(pa + i * sz));
                    const double phase = double(sample::Load<C>(pb + i * sz));
                    sample::Store(po + 2 * i * sz, sample::SaturateFromDouble<C>(amplitude * std::cos(phase)));
                    sample::Store(po + (2 * i + 1) * sz, sample::SaturateFromDouble<C>(amplitude * std::sin(phase)));
                }
            }
        }
    });
}

bool DivideComplexRow(int complexType, int interpretation, const void* in, void* out1, void* out2, std::int64_t n)
{
    if (!IsComplexType(complexType))
        return false;
    return sample::Dispatch(complexType, [&](auto k) {
        using K = decltype(k);
        using C = typename K::Component;
        if constexpr (K::complex) {
            constexpr std::int64_t sz = sizeof(C);
            const auto* pi = static_cast<const unsigned char*>(in);
            auto* p1 = static_cast<unsigned char*>(out1);
            auto* p2 = static_cast<unsigned char*>(out2);
            if (interpretation == 1) {
                if (p1)
                    for (std::int64_t i = 0; i < n; ++i)
                        sample::Store(p1 + i * sz, sample::Load<C>(pi + 2 * i * sz));
                if (p2)
                    for (std::int64_t i = 0; i < n; ++i)
                        sample::Store(p2 + i * sz, sample::Load<C>(pi + (2 * i + 1) * sz));
                return;
            }
            if (p1)
                for (std::int64_t i = 0; i < n; ++i) {
                    const C re = sample::Load<C>(pi + 2 * i * sz);
                    const C im = sample::Load<C>(pi + (2 * i + 1) * sz);
                    sample::Store(p1 + i * sz, sample::SaturateFromDouble<C>(sample::Amplitude(re, im)));
                }
            if (p2)
                PhaseRow<C>(pi, p2, n);
        }
    });
}

int JoinComplexFiles(const ComplexJob& job, CMeterInfoBase* meter, std::string* error)
{
    std::string scratch;
    std::string& text = error ? *error : scratch;
    text.clear();
    CRDPLayer a, b;
    if (!a.OpenLayer(job.component1.c_str(), 0)) {
        text = WithPath(IDS_CPX_OPEN_FAILED, job.component1);
        return -1;
    }
    if (!b.OpenLayer(job.component2.c_str(), 0)) {
        text = WithPath(IDS_CPX_OPEN_FAILED, job.component2);
        return -1;
    }
    if (a.Width() != b.Width() || a.Height() != b.Height())
        text = LoadComplexString(IDS_CPX_SIZES_DIFFER);
    else if (IsComplexType(a.Type()) || IsComplexType(b.Type()))
        text = LoadComplexString(IDS_CPX_COMPONENT_COMPLEX);
    else if (a.Type() != b.Type())
        text = LoadComplexString(IDS_CPX_TYPES_DIFFER);
    if (!text.empty())
        return -1;

    // Both inputs are bound already: the job only compares them with the output.
    ConversionJob files;
    files.AddInput(job.component1, false);
    files.AddInput(job.component2, false);
    const int out = files.AddOutput(job.complex);
    if (!files.Open()) {
        text = OpenFailureText(files, job.complex);
        return -1;
    }
    const int type = a.Type();
    const int width = a.Width();
    const int height = a.Height();
    CRDPLayer layer(meter);
    try {
        if (!layer.CreateLayer(files.Output(out), width, height, GetComplexType(type, 2), 7)) {
            text = WithPath(IDS_CPX_CREATE_FAILED, job.complex);
            return -1;
        }
        StartProgress(meter, height);
        void** rowsA = a.Rows();
        void** rowsB = b.Rows();
        void** rowsOut = layer.Rows();
        const std::int64_t outBytes = layer.RowSize();
        ForEachRow(height, std::int64_t(height) * outBytes * 2, {{rowsOut, outBytes}}, meter, [&](std::int64_t r) {
            JoinComplexRow(type, job.interpretation, rowsA[r], rowsB[r], rowsOut[r], width);
        });
        layer.CloseLayer();
        a.CloseLayer();
        b.CloseLayer();
        CopyTag(files.WritePath(out).c_str(), job.component1.c_str());
        if (!files.Commit()) {
            text = WithPath(IDS_CPX_CREATE_FAILED, job.complex) + "\n" + files.Error();
            return -1;
        }
        return 0;
    } catch (...) {
        // The new layer lives in the job's temporary, which goes with the job.
        layer.DestroyLayer();
        text = ConversionFailureText();
        return -1;
    }
}

int DivideComplexFile(const ComplexJob& job, CMeterInfoBase* meter, std::string* error)
{
    std::string scratch;
    std::string& text = error ? *error : scratch;
    text.clear();
    CRDPLayer source;
    if (!source.OpenLayer(job.complex.c_str(), 0)) {
        text = WithPath(IDS_CPX_OPEN_FAILED, job.complex);
        return -1;
    }
    if (!IsComplexType(source.Type())) {
        text = LoadComplexString(IDS_CPX_NOT_COMPLEX);
        return -1;
    }
    const int componentType = ComplexComponentType(source.Type());
    const int types[2] = {componentType, job.interpretation == 1 ? componentType : int(FLOAT64)};
    const std::string* names[2] = {&job.component1, &job.component2};
    const bool write[2] = {job.write1 != 0, job.write2 != 0};

    ConversionJob files;
    files.AddInput(job.complex, false);
    int out[2] = {-1, -1};
    for (int i = 0; i < 2; ++i)
        if (write[i])
            out[i] = files.AddOutput(*names[i]);
    if (!files.Open()) {
        text = OpenFailureText(files, job.complex);
        return -1;
    }
    const int width = source.Width();
    const int height = source.Height();
    CRDPLayer layers[2] = {CRDPLayer(meter), CRDPLayer(meter)};
    try {
        for (int i = 0; i < 2; ++i)
            if (write[i] && !layers[i].CreateLayer(files.Output(out[i]), width, height, types[i], 7)) {
                // Whatever was made goes with the job's temporaries.
                text = WithPath(IDS_CPX_CREATE_FAILED, *names[i]);
                return -1;
            }
        StartProgress(meter, height);
        void** in = source.Rows();
        void** rows[2] = {write[0] ? layers[0].Rows() : nullptr, write[1] ? layers[1].Rows() : nullptr};
        std::vector<std::pair<void**, std::int64_t>> outs;
        std::int64_t work = source.RowSize();
        for (int i = 0; i < 2; ++i)
            if (rows[i]) {
                outs.push_back({rows[i], layers[i].RowSize()});
                work += layers[i].RowSize();
            }
        ForEachRow(height, work * height, outs, meter, [&](std::int64_t r) {
            DivideComplexRow(source.Type(), job.interpretation, in[r], rows[0] ? rows[0][r] : nullptr,
                             rows[1] ? rows[1][r] : nullptr, width);
        });
        for (int i = 0; i < 2; ++i)
            if (write[i]) {
                layers[i].CloseLayer();
                CopyTag(files.WritePath(out[i]).c_str(), job.complex.c_str());
            }
        source.CloseLayer();
        if (!files.Commit()) {
            text = LoadComplexString(IDS_CPX_CREATE_FAILED) + "\n" + files.Error();
            return -1;
        }
        return 0;
    } catch (...) {
        for (CRDPLayer& layer : layers)
            layer.DestroyLayer();
        text = ConversionFailureText();
        return -1;
    }
}

void JoinComplexWorker(void* data, CMeterInfo* meter)
{
    const std::unique_ptr<ComplexJob> job(static_cast<ComplexJob*>(data));
    std::string error;
    ConversionEnd end;
    end.done = JoinComplexFiles(*job, meter, &error) == 0;
    end.outputs = {job->complex};
    EndConversionJob(meter, end);
    if (!end.done)
        ShowConversionFailure(error);
}

void DivideComplexWorker(void* data, CMeterInfo* meter)
{
    const std::unique_ptr<ComplexJob> job(static_cast<ComplexJob*>(data));
    std::string error;
    ConversionEnd end;
    end.done = DivideComplexFile(*job, meter, &error) == 0;
    if (job->write1)
        end.outputs.push_back(job->component1);
    if (job->write2)
        end.outputs.push_back(job->component2);
    EndConversionJob(meter, end);
    if (!end.done)
        ShowConversionFailure(error);
}
