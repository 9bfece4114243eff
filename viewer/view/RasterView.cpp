#include "view/RasterView.h"

#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

#include "platform/errors/FaultGuard.h"
#include "FileProblems.h"
#include "platform/threads/GuiThread.h"
#include "platform/windows/StatusBar.h"
#include "ViewerStrings.h"
#include "files/TempFiles.h"
#include "format/RDPFile.h"
#include "jobs/MeterInfo.h"
#include "jobs/ThreadList.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "view/DisplayCache.h"
#include "view/DisplayRange.h"
#include "window/ViewerMessages.h"

namespace {

constexpr int kReady = 2;
constexpr int kFailed = 3;

// Why an open failed, beyond what the file itself tells (FileProblems.h).
constexpr char kUnboundText[] = "The layer could not be bound";
constexpr char kNoPhaseText[] = "The layer has no phase statistics";
constexpr char kNoCacheText[] = "The display cache could be made neither beside the file nor in the temporary folder";
constexpr char kNotStartedText[] = "The preparation could not be started";
constexpr char kNotPreparedText[] = "The picture could not be prepared";

// How long closing a view over a caller's buffers waits for its job to leave them.
constexpr std::chrono::milliseconds kBufferJobWait{5000};

struct TypeTexts {
    unsigned type;
    unsigned size;
};

// Data type and sample width texts by sample type 1 to 16.
constexpr TypeTexts kTypeTexts[16] = {
    {IDS_TYPE_UNSIGNED, IDS_SIZE_8},
    {IDS_TYPE_SIGNED, IDS_SIZE_8},
    {IDS_TYPE_UNSIGNED, IDS_SIZE_16},
    {IDS_TYPE_SIGNED, IDS_SIZE_16},
    {IDS_TYPE_UNSIGNED, IDS_SIZE_32},
    {IDS_TYPE_SIGNED, IDS_SIZE_32},
    {IDS_TYPE_FLOAT, IDS_SIZE_32},
    {IDS_TYPE_FLOAT, IDS_SIZE_64},
    {IDS_TYPE_COMPLEX_FLOAT, IDS_SIZE_64},
    {IDS_TYPE_COMPLEX_FLOAT, IDS_SIZE_128},
    {IDS_TYPE_COMPLEX_UNSIGNED, IDS_SIZE_16},
    {IDS_TYPE_COMPLEX_SIGNED, IDS_SIZE_16},
    {IDS_TYPE_COMPLEX_UNSIGNED, IDS_SIZE_32},
    {IDS_TYPE_COMPLEX_SIGNED, IDS_SIZE_32},
    {IDS_TYPE_COMPLEX_UNSIGNED, IDS_SIZE_64},
    {IDS_TYPE_COMPLEX_SIGNED, IDS_SIZE_64},
};

std::int32_t Time32(std::time_t t)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(t)));
}

// The job's reports reach the caller's meter on the GUI thread, and only while the
// view is open: the meter may belong to a window that goes with the view. A failure
// of that meter (its cancel, or any exception) reaches the job at its next report.
struct MeterRelay {
    std::shared_ptr<const std::atomic<bool>> closed;
    CMeterInfoBase* target = nullptr;
    std::atomic<int> pendingSteps{0};
    std::atomic<int> failure{0};  // cause of the meter's exception

    template <class F>
    static void Forward(const std::shared_ptr<MeterRelay>& relay, F fn)
    {
        if (!relay->target)
            return;
        plat::PostToGuiThread([relay, fn] {
            if (relay->closed->load())
                return;
            try {
                fn(relay->target);
            } catch (plat::Exception* e) {
                std::string ignored;
                const int cause = GetError(e, ignored);
                e->Delete();
                relay->failure.store(cause);
            } catch (...) {
                relay->failure.store(RDP_FOREIGN);
            }
        });
    }
};

// The meter the build reports to, once per tile: every report first checks whether
// the view was closed, all jobs are being stopped, or the caller's meter failed.
class JobMeter final : public CMeterInfoBase {
public:
    explicit JobMeter(std::shared_ptr<MeterRelay> relay) : m_relay(std::move(relay)) {}
    ~JobMeter() = default;
    JobMeter(const JobMeter&) = delete;
    JobMeter& operator=(const JobMeter&) = delete;

    void SetCaption(const char* caption) override
    {
        MeterRelay::Forward(
            m_relay, [text = std::string(caption ? caption : "")](CMeterInfoBase* m) { m->SetCaption(text.c_str()); });
    }
    void SetText(const char* text) override
    {
        MeterRelay::Forward(m_relay, [t = std::string(text ? text : "")](CMeterInfoBase* m) { m->SetText(t.c_str()); });
    }
    void SetPos(double pos) override
    {
        Check();
        MeterRelay::Forward(m_relay, [pos](CMeterInfoBase* m) { m->SetPos(pos); });
    }
    void SetRange(double lo, double hi) override
    {
        Check();
        MeterRelay::Forward(m_relay, [lo, hi](CMeterInfoBase* m) { m->SetRange(lo, hi); });
    }
    // Nothing is asked back from the GUI thread: the outputs keep their values.
    void GetRange(double*, double*) override {}
    void GetPos(double*) override {}
    void SetStep(double step) override
    {
        MeterRelay::Forward(m_relay, [step](CMeterInfoBase* m) { m->SetStep(step); });
    }
    void StepIt() override
    {
        Check();
        // One post carries all steps made until it runs.
        if (m_relay->target && m_relay->pendingSteps.fetch_add(1) == 0) {
            std::weak_ptr<MeterRelay> weak = m_relay;
            MeterRelay::Forward(m_relay, [weak](CMeterInfoBase* m) {
                auto relay = weak.lock();
                for (int n = relay ? relay->pendingSteps.exchange(0) : 0; n > 0; --n)
                    m->StepIt();
            });
        }
    }
    std::string GetCaption() override { return {}; }
    std::string GetText() override { return {}; }

private:
    void Check() const
    {
        if (m_relay->closed->load() || TerminateAllFlag.load() != 0)
            AfxThrowRDPExcept(RDP_CANCEL);
        if (const int cause = m_relay->failure.load())
            AfxThrowRDPExcept(cause == RDP_FOREIGN ? RDP_CANCEL : cause);
    }

    std::shared_ptr<MeterRelay> m_relay;
};

}  // namespace

std::shared_ptr<CMeterInfoBase> MakeJobMeter(std::shared_ptr<const std::atomic<bool>> closed, CMeterInfoBase* target)
{
    auto relay = std::make_shared<MeterRelay>();
    relay->closed = std::move(closed);
    relay->target = target;
    return std::make_shared<JobMeter>(std::move(relay));
}

// Everything one preparation needs, owned by the job.
struct CRasterView::PrepareJob {
    std::shared_ptr<RasterViewShared> shared;
    CRDPLayer layer;   // shares the view's binding: the samples stay mapped
    CMemoryMap cache;  // shares the view's mapping of the cache (empty for a buffer)
    std::string cachePath;
    plat::FileId cacheId;
    unsigned char* levels = nullptr;
    const void* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::int64_t rowBytes = 0;
    int type = 0;
    int phase = 0;
    double low = 0.0;
    double high = 0.0;
    double k = 0.0;
    std::time_t sourceTime = 0;
    CMeterInfoBase* meter = nullptr;
    plat::WindowHandle notify;
    int index = 0;
};

CRasterView::CRasterView()
{
    m_nKind = 1;
    m_nColorMode = 1;
}

CRasterView::~CRasterView()
{
    CloseProfiles();
    m_pShared->m_bClosed.store(true);
    if (m_bCallerBuffers) {
        const auto end = std::chrono::steady_clock::now() + kBufferJobWait;
        while (m_pShared->m_bRunning.load() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// ---- opening ---------------------------------------------------------------

int CRasterView::BindFile(const char* fileName)
{
    struct stat st {};
    m_tSourceTime = stat(fileName, &st) == 0 ? st.st_mtim.tv_sec : 0;
    m_strFailure.clear();
    if (!m_Layer.OpenLayer(fileName, 0) || !m_Layer.Pixels() || !m_Layer.StatsReady()) {
        m_strFailure = LayerFileProblem(fileName);
        if (m_strFailure.empty())
            m_strFailure = kUnboundText;
        return 0;
    }
    m_pPixels = m_Layer.Pixels();
    m_nWidth = m_Layer.Width();
    m_nHeight = m_Layer.Height();
    m_nType = m_Layer.Type();
    m_nRowBytes = m_Layer.RowSize();
    return 1;
}

void CRasterView::SetTypeTexts()
{
    if (m_nType < 1 || m_nType > 16) {
        m_strTypeText.clear();
        m_strSizeText.clear();
        return;
    }
    m_strTypeText = LoadViewerString(kTypeTexts[m_nType - 1].type);
    m_strSizeText = LoadViewerString(kTypeTexts[m_nType - 1].size);
}

int CRasterView::OpenLayer(int index, plat::WindowHandle notifyWnd, const char* fileName, int phase, double k,
                           int stretch, CMeterInfoBase* meter, plat::WindowHandle statusWnd)
{
    if (fileName == nullptr || IsBusy())
        return 0;
    m_pNotifyWnd = notifyWnd;
    m_strFileName = fileName;
    m_bPhase = phase;
    m_dSigmaFactor = k;
    m_nIndex = index;
    const size_t cut = m_strFileName.find_last_of("/\\");
    m_strLayerName = cut == std::string::npos ? m_strFileName : m_strFileName.substr(cut + 1);

    if (!BindFile(fileName))
        return 0;
    // Phase is a view of complex samples only; a real layer is shown by its values
    // and checked against its k like any other.
    if (!IsComplexType(m_nType))
        m_bPhase = 0;

    if (m_bPhase == 0) {
        m_dMin = m_Layer.Min();
        m_dMax = m_Layer.Max();
        m_dMean = m_Layer.Mean();
        m_dSigma = m_Layer.StdDev();
        std::memcpy(m_pShared->m_Histogram, m_Layer.HistAdr(), sizeof m_pShared->m_Histogram);
        const LayerStatistics stats{m_dMin, m_dMax, m_dMean, m_dSigma, m_pShared->m_Histogram};
        const DisplayRange range = ChooseDisplayRange(m_nType, m_nWidth, m_nHeight, stats, stretch, k);
        m_dLow = range.low;
        m_dHigh = range.high;
        m_dSigmaFactor = range.k;
    } else {
        StatisticsTag record{};
        if (!m_Layer.GetTag(kTagPhaseStatistics, int(sizeof record), &record) || record.length < int(sizeof record)) {
            m_strFailure = kNoPhaseText;
            return 0;
        }
        m_dMin = record.minimum;
        m_dMax = record.maximum;
        m_dMean = record.mean;
        m_dSigma = record.deviation;
        std::memcpy(m_pShared->m_Histogram, record.histogram, sizeof m_pShared->m_Histogram);
        m_dLow = m_dMin;
        m_dHigh = m_dMax;
    }
    SetTypeTexts();
    ApplyLayerPalette();

    switch (SetUpCache(statusWnd)) {
    case Cache::Failed:
        m_strFailure = kNoCacheText;
        return 0;
    case Cache::Reused:
        PostNotice(m_pShared, m_pNotifyWnd, m_nIndex, kReady);
        return 1;
    case Cache::Created:
        break;
    }
    if (!StartJob(meter)) {
        m_strFailure = kNotStartedText;
        return 0;
    }
    return 1;
}

int CRasterView::OpenBuffer(int index, plat::WindowHandle notifyWnd, const char* name, void* pixels, int width,
                            int height, int type, unsigned char* levels, const PalitraTag* palette, double min,
                            double max, CMeterInfoBase* meter, plat::WindowHandle statusWnd)
{
    if (pixels == nullptr || levels == nullptr || IsBusy())
        return 0;
    if (type < UINT8 || type > FLOAT64 || width < 1 || height < 1)
        return 0;
    m_pNotifyWnd = notifyWnd;
    m_bPhase = 0;
    m_nIndex = index;
    m_strLayerName = name ? name : "";
    m_pPixels = pixels;
    m_pLevels = levels;
    m_bCallerBuffers = true;
    m_nWidth = width;
    m_nHeight = height;
    m_nType = type;
    m_dMin = min;
    m_dMax = max;
    m_dSigma = (max - min) / 2.0;
    m_dMean = min + m_dSigma;
    std::memset(m_pShared->m_Histogram, 0, sizeof m_pShared->m_Histogram);
    m_dLow = min;
    m_dHigh = max;
    SetTypeTexts();
    m_nRowBytes = std::int64_t(width) * GetDataTypeSize(type);

    plat::SetStatusText(statusWnd, 0, LoadViewerString(IDS_PREPARING_RASTER));
    if (palette) {
        std::memcpy(&m_DisplayPalette, palette, sizeof m_DisplayPalette);
        SetPalitra(&m_DisplayPalette);
    } else {
        SetGreyPalettes();
    }
    return StartJob(meter);
}

int CRasterView::PrepareFile(const char* fileName, CMeterInfoBase* meter, plat::WindowHandle statusWnd)
{
    if (fileName == nullptr || IsBusy())
        return 0;
    m_pNotifyWnd = plat::WindowHandle();
    m_strFileName = fileName;
    m_bPhase = 0;
    m_nIndex = 0;
    m_strLayerName.clear();
    if (!BindFile(fileName))
        return 0;
    m_dMin = m_Layer.Min();
    m_dMax = m_Layer.Max();
    m_dMean = m_Layer.Mean();
    m_dSigma = m_Layer.StdDev();
    std::memcpy(m_pShared->m_Histogram, m_Layer.HistAdr(), sizeof m_pShared->m_Histogram);
    const DisplayRange range =
        ChannelDisplayRange(m_nType, LayerStatistics{m_dMin, m_dMax, m_dMean, m_dSigma, m_pShared->m_Histogram});
    m_dLow = range.low;
    m_dHigh = range.high;
    m_dSigmaFactor = range.k;
    SetTypeTexts();

    switch (SetUpCache(statusWnd)) {
    case Cache::Failed:
        m_strFailure = kNoCacheText;
        return 0;
    case Cache::Reused:
        return 1;
    case Cache::Created:
        break;
    }
    // The channel keeps its statistics histogram; nothing is posted.
    std::uint32_t histogram[256];
    std::memcpy(histogram, m_pShared->m_Histogram, sizeof histogram);
    std::unique_ptr<PrepareJob> job = MakeJob(meter);
    m_pShared->m_bBusy.store(1);
    const int ok = RunPreparation(*job, false);
    std::memcpy(m_pShared->m_Histogram, histogram, sizeof histogram);
    if (!ok) {
        m_strFailure = m_pShared->m_strFailure;
        DiscardCache();
    }
    return ok;
}

int CRasterView::PrepareRaster(CMeterInfoBase* meter)
{
    if (m_pLevels == nullptr || IsBusy())
        return 0;
    std::unique_ptr<PrepareJob> job = MakeJob(meter);
    m_pShared->m_bBusy.store(1);
    const int ok = RunPreparation(*job, false);
    if (!ok)
        DiscardCache();
    return ok;
}

// ---- the display cache -----------------------------------------------------

std::string CRasterView::LookUpCache() const
{
    return FindTMPFile(m_strFileName, m_bPhase, DisplayCacheLength(m_nWidth, m_nHeight));
}

int CRasterView::AttachPyramid()
{
    return m_pShared->m_Pyramid.Attach(m_pLevels, m_nWidth, m_nHeight,
                                       std::int64_t(m_CacheMap.Length()) - kDisplayCacheLevelsOffset);
}

// A valid cache (the source's time, exactly the length of this layer's cache and,
// for values, the same k) is mapped and attached; any other that the look-up found
// is deleted (a failure is ignored) and a new one made: beside the source, else in
// TempDir.
CRasterView::Cache CRasterView::SetUpCache(plat::WindowHandle statusWnd)
{
    m_pLevels = nullptr;
    m_CacheMap.Close();
    m_strCreatedCache.clear();
    // 64-bit: the cache of a layer near 2 Gpixel passes 2 GB.
    const std::int64_t length = DisplayCacheLength(m_nWidth, m_nHeight);

    const std::string found = LookUpCache();
    if (!found.empty()) {
        plat::FileId id;
        const std::int64_t foundLength = plat::MappedFile::FileLength(found, &id);
        // A cache of another length is not this layer's: it is replaced unread.
        auto* view =
            foundLength == length ? static_cast<unsigned char*>(m_CacheMap.Open(found, length, 0)) : nullptr;
        if (view == nullptr && foundLength == length)
            return Cache::Failed;
        const bool valid = view != nullptr && m_CacheMap.Length() == length &&
                           Time32(CTempInfoStruct::Load(view).m_time) == Time32(m_tSourceTime) &&
                           (m_bPhase != 0 || TMPFlagMatches(CTempInfoStruct::Load(view).m_flag, m_dSigmaFactor));
        if (valid) {
            if (m_bPhase == 0)
                std::memcpy(m_pShared->m_Histogram, view + kDisplayCacheHeaderSize, kDisplayHistogramSize);
            m_pLevels = view + kDisplayCacheLevelsOffset;
            if (!AttachPyramid())
                return Cache::Failed;
            plat::SetStatusText(statusWnd, 0, LoadViewerString(IDS_BUILDING_HISTOGRAM));
            return Cache::Reused;
        }
        m_CacheMap.Close();
        plat::MappedFile::RemoveIfSame(found, id);
    }

    if (!CreateCache())
        return Cache::Failed;
    plat::SetStatusText(statusWnd, 0, LoadViewerString(IDS_PREPARING_RASTER));
    return Cache::Created;
}

int CRasterView::CreateCache()
{
    const std::int64_t length = DisplayCacheLength(m_nWidth, m_nHeight);
    void* view = m_CacheMap.Create(CacheNameBeside(m_strFileName, m_bPhase), length, 0);
    if (view == nullptr) {
        const std::string tempDir = ReadTempDirSetting();
        if (!tempDir.empty())
            view = m_CacheMap.Create(CacheNameInTempDir(tempDir, m_strFileName, m_bPhase), length, 0);
    }
    if (view == nullptr)
        return 0;
    m_strCreatedCache = m_CacheMap.GetFileName();
    plat::MappedFile::FileLength(m_strCreatedCache, &m_CreatedCacheId);
    m_pLevels = static_cast<unsigned char*>(view) + kDisplayCacheLevelsOffset;
    return 1;
}

void CRasterView::DiscardCache()
{
    m_pLevels = nullptr;
    m_CacheMap.Close();
    if (!m_strCreatedCache.empty())
        plat::MappedFile::RemoveIfSame(m_strCreatedCache, m_CreatedCacheId);
    m_strCreatedCache.clear();
}

// ---- the preparation job ---------------------------------------------------

std::unique_ptr<CRasterView::PrepareJob> CRasterView::MakeJob(CMeterInfoBase* meter) const
{
    auto job = std::make_unique<PrepareJob>();
    job->shared = m_pShared;
    job->layer = m_Layer;
    job->cache = m_CacheMap;
    job->cachePath = m_strCreatedCache;
    job->cacheId = m_CreatedCacheId;
    job->levels = m_pLevels;
    job->pixels = m_pPixels;
    job->width = m_nWidth;
    job->height = m_nHeight;
    job->rowBytes = m_nRowBytes;
    job->type = m_nType;
    job->phase = m_bPhase;
    job->low = m_dLow;
    job->high = m_dHigh;
    job->k = m_dSigmaFactor;
    job->sourceTime = m_tSourceTime;
    job->meter = meter;
    job->notify = m_pNotifyWnd;
    job->index = m_nIndex;
    return job;
}

int CRasterView::StartJob(CMeterInfoBase* meter)
{
    std::unique_ptr<PrepareJob> job = MakeJob(meter);
    m_pShared->m_bBusy.store(1);
    m_pShared->m_bRunning.store(1);
    if (GlobalThreadList().RunThread("Open Image", &CRasterView::PrepareJobEntry, job.get(), 1)) {
        job.release();
        return 1;
    }
    job.reset();
    m_pShared->m_bRunning.store(0);
    m_pShared->m_bBusy.store(0);
    DiscardCache();
    return 0;
}

void CRasterView::PrepareJobEntry(void* data)
{
    std::unique_ptr<PrepareJob> job(static_cast<PrepareJob*>(data));
    std::shared_ptr<RasterViewShared> shared = job->shared;
    RunPreparation(*job, true);
    // The caller's buffers and the job's uses of binding and mapping are left first.
    job.reset();
    shared->m_bRunning.store(0);
}

// Builds the pyramid into the levels; the cache's header gets k and the source's
// time first, and the build keeps its time 0 until the levels are written. Any
// failure (an exception, a fault, a cancel) frees the pyramid and removes the half
// built cache. Busy is cleared before the notice goes out.
int CRasterView::RunPreparation(PrepareJob& job, bool relayMeter)
{
    RasterViewShared& shared = *job.shared;
    int ok = 0;
    std::string failure = kNotPreparedText;
    try {
        unsigned char* header = nullptr;
        if (job.cache.AdresData()) {
            header = job.levels - kDisplayCacheLevelsOffset;
            CTempInfoStruct(job.k, job.sourceTime).Store(header);
        }
        std::shared_ptr<CMeterInfoBase> jobMeter;
        CMeterInfoBase* meter = job.meter;
        if (relayMeter) {
            jobMeter =
                MakeJobMeter(std::shared_ptr<const std::atomic<bool>>(job.shared, &job.shared->m_bClosed), job.meter);
            meter = jobMeter.get();
        }
        ok = plat::CallFaultGuarded([&] {
            return shared.m_Pyramid.Build(job.levels, job.pixels, job.width, job.height, job.rowBytes, job.type,
                                          job.phase, job.low, job.high, meter, header);
        });
    } catch (plat::Exception* e) {
        char text[512] = {};
        if (e->GetErrorMessage(text, sizeof text) && text[0] != '\0')
            failure = text;
        e->Delete();
        ok = 0;
    } catch (...) {
        ok = 0;
    }
    shared.m_strFailure = ok ? std::string() : failure;
    if (ok) {
        if (job.phase == 0)
            std::memcpy(shared.m_Histogram, job.levels - kDisplayHistogramSize, kDisplayHistogramSize);
    } else {
        shared.m_Pyramid.Free();
        job.cache.Close();
        if (!job.cachePath.empty())
            plat::MappedFile::RemoveIfSame(job.cachePath, job.cacheId);
    }
    shared.m_bBusy.store(0);
    PostNotice(job.shared, job.notify, job.index, ok ? kReady : kFailed);
    return ok;
}

// Delivered on the GUI thread, and only while the view is still open.
void CRasterView::PostNotice(const std::shared_ptr<RasterViewShared>& shared, const plat::WindowHandle& notify,
                             int index, int code)
{
    if (!notify)
        return;
    plat::PostToGuiThread([shared, notify, index, code] {
        if (!shared->m_bClosed.load())
            notify.SendMessage(WM_VIEWER_NOTIFY, plat::WParam(index), plat::LParam(code));
    });
}

FileFailure CRasterView::GetOpenFailure()
{
    FileFailure failure{m_strFileName.empty() ? m_strLayerName : m_strFileName, m_strFailure};
    if (failure.reason.empty() && !IsBusy())
        failure.reason = m_pShared->m_strFailure;
    return failure;
}

// ---- palettes ----------------------------------------------------------------

void CRasterView::ApplyLayerPalette()
{
    PalitraTag tag;
    tag.length = 0;
    if (m_Layer.GetTag(kPalitraTagNumber, int(sizeof tag), &tag) && tag.length >= kPalitraTagSize) {
        m_DisplayPalette = tag;
        SetPalitra(&m_DisplayPalette);
    } else {
        SetGreyPalettes();
    }
}

// ---- answers -----------------------------------------------------------------

int CRasterView::GetRegion(unsigned char* dest, int destRowBytes, int x, int y, int width, int height, double reduction,
                           int wholeImage, int step, int bottomUp, CMeterInfoBase* meter)
{
    if (IsBusy())
        return 0;
    return m_pShared->m_Pyramid.GetRegion(dest, destRowBytes, x, y, width, height, reduction, wholeImage, step,
                                          bottomUp, meter);
}

std::uint32_t* CRasterView::GetHistAddr(int channel)
{
    return channel == 1 ? m_pShared->m_Histogram : nullptr;
}

double CRasterView::GetRangeMin(int channel)
{
    return channel == 1 ? m_dLow : 0.0;
}

double CRasterView::GetRangeMax(int channel)
{
    return channel == 1 ? m_dHigh : 0.0;
}

std::string CRasterView::GetFileName(int channel)
{
    return channel == 1 ? m_strFileName : std::string();
}

double CRasterView::Min(int channel)
{
    return channel == 1 ? m_dMin : 0.0;
}

double CRasterView::Max(int channel)
{
    return channel == 1 ? m_dMax : 0.0;
}

double CRasterView::Mean(int channel)
{
    return channel == 1 ? m_dMean : 0.0;
}

double CRasterView::StDev(int channel)
{
    return channel == 1 ? m_dSigma : 0.0;
}

std::string CRasterView::GetStringSizePixel(int channel)
{
    return channel == 1 ? m_strSizeText : std::string();
}

std::string CRasterView::GetStringTypeData(int channel)
{
    return channel == 1 ? m_strTypeText : std::string();
}

std::string CRasterView::GetLayerName()
{
    return m_strLayerName;
}
