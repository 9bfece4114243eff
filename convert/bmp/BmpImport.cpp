#include "bmp/BmpImport.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "ConversionJobEnd.h"
#include "platform/dialogs/MessageBox.h"
#include "PalitraTag.h"
#include "bmp/BmpStrings.h"
#include "conversion/ConversionJob.h"
#include "jobs/MeterInfo.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "layer/SampleTally.h"
#include "platform/files/MappedFile.h"
#include "platform/threads/ParallelFor.h"

namespace {

// A read-only view of a whole open file.
class ReadOnlyView {
public:
    explicit ReadOnlyView(int fd)
    {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0)
            return;
        void* p = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
        if (p == MAP_FAILED)
            return;
        m_data = static_cast<const unsigned char*>(p);
        m_size = st.st_size;
    }
    ~ReadOnlyView()
    {
        if (m_data)
            ::munmap(const_cast<unsigned char*>(m_data), std::size_t(m_size));
    }
    ReadOnlyView(const ReadOnlyView&) = delete;
    ReadOnlyView& operator=(const ReadOnlyView&) = delete;
    const unsigned char* Data() const { return m_data; }
    std::int64_t Size() const { return m_size; }

private:
    const unsigned char* m_data = nullptr;
    std::int64_t m_size = 0;
};

// Rows go to the threads in pieces; each piece's rows of every plane are faulted
// in with one call (writes into a new layer's fresh pages cost most) and tallied
// while they are in the cache, so that closing the layers need not read them
// twice more. The meter gets one position a row, in row order.
void ConvertRows(const BmpInfo& info, const unsigned char* file, CMeterInfoBase* meter, CRDPLayer* layers,
                 int planes)
{
    void** rows[3] = {layers[0].Rows(), planes == 3 ? layers[1].Rows() : nullptr,
                      planes == 3 ? layers[2].Rows() : nullptr};
    if (meter) {
        meter->SetRange(0.0, double(info.height));
        meter->SetText(LoadBmpString(IDS_BMP_WRITING_RASTER).c_str());
    }
    const int w = info.width, h = info.height;
    const int threads = std::max(1, plat::ParallelThreadsFor(std::int64_t(w) * h * planes));
    std::vector<std::unique_ptr<SampleTally>> tallies;
    if (SampleTally::Supports(UINT8, w))
        for (int c = 0; c < planes; ++c)
            tallies.push_back(std::make_unique<SampleTally>(UINT8, w, h, threads));
    const std::int64_t grain = std::max<std::int64_t>(1, (std::int64_t(1) << 20) / (std::int64_t(w) * planes));
    std::int64_t reported = 0;
    plat::ParallelFor(
        h, grain, threads,
        [&](std::int64_t begin, std::int64_t end, int slot) {
            // File row i is layer row y: the piece's layer rows are one block.
            const std::int64_t first = info.topDown ? begin : h - end;
            for (int c = 0; c < planes; ++c)
                plat::PrefaultForWrite(rows[c][first], (end - begin) * std::int64_t(w));
            for (std::int64_t i = begin; i < end; ++i) {
                ConvertBmpRow(info, file, int(i), rows);
                const std::int64_t y = info.topDown ? i : h - 1 - i;
                for (std::size_t c = 0; c < tallies.size(); ++c)
                    tallies[c]->AddRow(slot, y, rows[c][y]);
            }
        },
        [&](std::int64_t done) {
            if (meter)
                for (; reported < done; ++reported)
                    meter->SetPos(double(reported));
        });
    for (std::size_t c = 0; c < tallies.size(); ++c)
        layers[c].TakeTally(*tallies[c]);
}

std::string WithPath(unsigned id, const std::string& path)
{
    return LoadBmpString(id) + "\n" + path;
}

}  // namespace

std::vector<std::string> BmpOutputNames(const BmpImportJob& job)
{
    if (job.bitCount == 8)
        return {job.output};
    return {job.red, job.green, job.blue};
}

void ImportBmp8(const BmpInfo& info, const unsigned char* file, CMeterInfoBase* meter, CRDPLayer* layers)
{
    ConvertRows(info, file, meter, layers, 1);
}

void ImportBmp16(const BmpInfo& info, const unsigned char* file, CMeterInfoBase* meter, CRDPLayer* layers)
{
    ConvertRows(info, file, meter, layers, 3);
}

void ImportBmp24(const BmpInfo& info, const unsigned char* file, CMeterInfoBase* meter, CRDPLayer* layers)
{
    ConvertRows(info, file, meter, layers, 3);
}

void ImportBmp32(const BmpInfo& info, const unsigned char* file, CMeterInfoBase* meter, CRDPLayer* layers)
{
    ConvertRows(info, file, meter, layers, 3);
}

int BmpToRdp(const BmpImportJob& job, CMeterInfoBase* meter, std::string* error)
{
    std::string scratch;
    std::string& text = error ? *error : scratch;
    text.clear();
    const std::vector<std::string> names = BmpOutputNames(job);
    ConversionJob files;
    const int in = files.AddInput(job.input);
    for (const std::string& name : names)
        files.AddOutput(name);
    if (!files.Open()) {
        if (files.FailureKind() == ConversionJob::Failure::Refused)
            text = files.Error();
        else if (files.FailureKind() == ConversionJob::Failure::Input)
            text = LoadBmpString(IDS_BMP_OPEN_FAILED) + job.input;
        else
            text = WithPath(IDS_BMP_CREATE_FAILED, files.FailedPath());
        return -1;
    }
    const ReadOnlyView view(files.InputFd(in));
    BmpInfo info;
    if (!view.Data()) {
        text = WithPath(IDS_BMP_INVALID, job.input);
        return -1;
    }
    if (const int id = CheckBmp(view.Data(), view.Size(), view.Size(), &info)) {
        text = WithPath(unsigned(id), job.input);
        return -1;
    }
    // The file changed since the dialog looked at it.
    if (info.bitCount != job.bitCount) {
        text = WithPath(IDS_BMP_INVALID, job.input);
        return -1;
    }
    std::vector<CRDPLayer> layers;
    auto fail = [&](std::string why) {
        for (CRDPLayer& layer : layers)
            layer.DestroyLayer();
        text = std::move(why);
        return -1;
    };
    try {
        layers.reserve(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            layers.emplace_back(meter);
            if (!layers.back().CreateLayer(files.Output(int(i)), info.width, info.height, UINT8, 7))
                return fail(WithPath(IDS_BMP_CREATE_FAILED, names[i]));
        }
        switch (info.bitCount) {
        case 8: ImportBmp8(info, view.Data(), meter, layers.data()); break;
        case 16: ImportBmp16(info, view.Data(), meter, layers.data()); break;
        case 24: ImportBmp24(info, view.Data(), meter, layers.data()); break;
        default: ImportBmp32(info, view.Data(), meter, layers.data()); break;
        }
        for (CRDPLayer& layer : layers)
            layer.CloseLayer();
        if (info.bitCount == 8) {
            PalitraTag palette;
            FillBmpPalette(info, view.Data(), &palette);
            if (!SetTag(files.WritePath(0).c_str(), kPalitraTagNumber, kPalitraTagSize, &palette))
                return fail(WithPath(IDS_BMP_CREATE_FAILED, names[0]));
        }
        if (!files.Commit())
            return fail(WithPath(IDS_BMP_CREATE_FAILED, files.Error()));
        return 0;
    } catch (...) {
        return fail(ConversionFailureText());
    }
}

void BmpImportWorker(void* data, CMeterInfo* meter)
{
    const std::unique_ptr<BmpImportJob> job(static_cast<BmpImportJob*>(data));
    std::string error;
    ConversionEnd end;
    end.done = BmpToRdp(*job, meter, &error) == 0;
    end.outputs = BmpOutputNames(*job);
    EndConversionJob(meter, end);
    if (!end.done && !error.empty())
        plat::MessageBox({}, error, LoadBmpString(IDS_BMP_CAPTION), plat::MB_OK | plat::MB_ICONWARNING);
}
