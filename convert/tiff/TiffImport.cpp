#include "tiff/TiffImport.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "ConversionJobEnd.h"
#include "platform/dialogs/MessageBox.h"
#include "PalitraTag.h"
#include "conversion/ConversionJob.h"
#include "files/OrderFile.h"
#include "jobs/MeterInfo.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "layer/SampleTally.h"
#include "platform/threads/ParallelFor.h"
#include "tiff/TiffStrings.h"

std::vector<std::string> SeparatePlaneNames(const std::string& output)
{
    const std::size_t slash = output.find_last_of('/');
    const std::size_t dot = output.find_last_of('.');
    const bool hasDot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string base = hasDot ? output.substr(0, dot) : output;
    const std::string ext = hasDot ? output.substr(dot) : std::string();
    return {base + "_R" + ext, base + "_G" + ext, base + "_B" + ext};
}

std::vector<std::string> TiffOutputNames(const TiffImportJob& job)
{
    if (job.separate && job.bytesPerPixel == 3)
        return SeparatePlaneNames(job.outputFile);
    return {job.outputFile};
}

std::string TiffRefusalText(int id, const std::string& reason)
{
    std::string text = LoadTiffString(unsigned(id));
    if (!reason.empty())
        text += "\n" + reason;
    return text;
}

namespace {

// The text a failure shows; "" for a cancel, which ends silently.
std::string ExceptionText(plat::Exception* e)
{
    std::string message;
    const int cause = GetError(e, message);
    e->Delete();
    if (cause == RDP_CANCEL)
        return {};
    if (cause == RDP_BAD_FORMAT)
        return TiffRefusalText(IDS_TIFF_INVALID, message);
    return TiffRefusalText(IDS_TIFF_UNKNOWN_ERROR, message);
}

std::string CurrentExceptionText()
{
    try {
        throw;
    } catch (plat::Exception* e) {
        return ExceptionText(e);
    } catch (const std::bad_alloc&) {
        return TiffRefusalText(IDS_TIFF_UNKNOWN_ERROR, "out of memory");
    } catch (...) {
        return LoadTiffString(IDS_TIFF_UNKNOWN_ERROR);
    }
}

void WritePaletteTag(const TiffImportJob& job, CMeterInfoBase* meter, PalitraTag& palette)
{
    const CTIFFReader& tiff = job.reader;
    const std::vector<std::uint16_t>& map = tiff.ColorMap();
    // A map of more than 256 entries fills only the palette's 256.
    const std::uint32_t n = tiff.ColorMapEntries();
    const std::uint32_t used = std::min<std::uint32_t>(n, 256);
    if (meter) {
        meter->SetText(LoadTiffString(IDS_TIFF_WRITING_PALETTE).c_str());
        meter->SetRange(0.0, 256.0);
    }
    for (std::uint32_t i = 0; i < used; ++i) {
        palette.entries[i][0] = static_cast<unsigned char>(map[i] >> 8);
        palette.entries[i][1] = static_cast<unsigned char>(map[n + i] >> 8);
        palette.entries[i][2] = static_cast<unsigned char>(map[2 * n + i] >> 8);
        if (meter)
            meter->SetPos(double(i));
    }
}

}  // namespace

int CheckTiffImport(CTIFFReader& reader, int* bytesPerPixel)
{
    *bytesPerPixel = 0;
    if (reader.ReadDirectory() != 0 || reader.InterpretTags() != 1)
        return IDS_TIFF_INVALID;
    return reader.CheckInput(bytesPerPixel);
}

bool TiffWindowFits(long long x, long long y, long long w, long long h, long long width, long long height)
{
    return x >= 0 && y >= 0 && w > 0 && h > 0 && x + w <= width && y + h <= height;
}

int ReadTiffPixels(COrderFile* file, CRDPLayer* layers, CMeterInfoBase* meter, std::string* error,
                   const TiffImportJob& job)
{
    const int planes = (job.separate && job.bytesPerPixel == 3) ? 3 : 1;
    unsigned char* pixels[3] = {};
    for (int i = 0; i < planes; ++i)
        pixels[i] = layers[i].Pixels();
    try {
        // The statistics are gathered while each row is in the cache, so that
        // closing the layers need not read them twice more.
        std::unique_ptr<SampleTally> tallies[3];
        SampleTally* tallied[3] = {};
        for (int i = 0; i < planes; ++i)
            if (SampleTally::Supports(layers[i].Type(), layers[i].Width())) {
                tallies[i] = std::make_unique<SampleTally>(layers[i].Type(), layers[i].Width(), layers[i].Height(),
                                                           plat::ParallelThreads());
                tallied[i] = tallies[i].get();
            }
        const CTIFFReader reader = job.reader;
        reader.ReadStrips(file, pixels, meter, job.x, job.y, job.width, job.height, job.bytesPerPixel,
                          job.outBytesPerPixel, tallied);
        for (int i = 0; i < planes; ++i)
            if (tallies[i])
                layers[i].TakeTally(*tallies[i]);
        return 0;
    } catch (...) {
        if (error)
            *error = CurrentExceptionText();
        return -1;
    }
}

int TIFFToRdp(const TiffImportJob& job, CMeterInfoBase* meter, std::string* error)
{
    std::string scratch;
    std::string& text = error ? *error : scratch;
    text.clear();
    const std::vector<std::string> names = TiffOutputNames(job);
    const int type = names.size() == 3 ? int(UINT8) : job.reader.LayerType(job.outBytesPerPixel);
    if (type == 0) {
        text = LoadTiffString(IDS_TIFF_UNSUPPORTED);
        return -1;
    }
    // The outputs are written beside their targets and replace them only when all
    // are complete; without the commit the job discards them when it goes.
    ConversionJob files;
    const int in = files.AddInput(job.inputFile);
    for (const std::string& name : names)
        files.AddOutput(name);
    if (!files.Open()) {
        if (files.FailureKind() == ConversionJob::Failure::Refused)
            text = files.Error();
        else if (files.FailureKind() == ConversionJob::Failure::Input)
            text = LoadTiffString(IDS_TIFF_OPEN_FAILED);
        else
            text = TiffRefusalText(IDS_TIFF_CREATE_FAILED, files.Error());
        return -1;
    }
    std::vector<CRDPLayer> layers;
    // A layer given up is only unbound: its temporary goes with the job.
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
            if (layers.back().CreateLayer(files.Output(int(i)), job.width, job.height, type, 7) == nullptr)
                return fail(LoadTiffString(IDS_TIFF_CREATE_FAILED));
        }
        // The strips are read through the descriptor the job opened.
        if (ReadTiffPixels(&files.Input(in), layers.data(), meter, &text, job) != 0)
            return fail(text);
        for (CRDPLayer& layer : layers)
            layer.CloseLayer();
        const CTIFFReader& tiff = job.reader;
        if (tiff.Photometric() == 3 && tiff.SamplesPerPixel() == 1 && tiff.BitsPerSample()[0] == 8) {
            PalitraTag palette;
            WritePaletteTag(job, meter, palette);
            if (!SetTag(files.WritePath(0).c_str(), kPalitraTagNumber, kPalitraTagSize, &palette))
                return fail(LoadTiffString(IDS_TIFF_CREATE_FAILED));
        }
        if (!files.Commit())
            return fail(TiffRefusalText(IDS_TIFF_CREATE_FAILED, files.Error()));
        return 0;
    } catch (...) {
        return fail(CurrentExceptionText());
    }
}

void TiffImportWorker(void* data, CMeterInfo* meter)
{
    const std::unique_ptr<TiffImportJob> job(static_cast<TiffImportJob*>(data));
    std::string error;
    ConversionEnd end;
    end.done = TIFFToRdp(*job, meter, &error) == 0;
    end.outputs = TiffOutputNames(*job);
    // Nothing imported: the progress window closes rather than offering View.
    EndConversionJob(meter, end);
    if (!end.done && !error.empty())
        plat::MessageBox({}, error, LoadTiffString(IDS_TIFF_CAPTION), plat::MB_OK | plat::MB_ICONWARNING);
}

int ProbeTIFFFile(const std::string& file, ExternFileInfo* info)
{
    CTIFFReader reader(file);
    if (reader.ReadDirectory() != 0 || reader.InterpretTags() != 1)
        return 0;
    if (info) {
        info->width = int(reader.Width());
        info->height = int(reader.Height());
        info->formatName = "TIFF";
        info->description.clear();
    }
    return 1;
}

int ImportTIFFFile(const std::string& input, const std::string& output, CMeterInfoBase* meter, std::string* error)
{
    CTIFFReader reader(input);
    int bytesPerPixel = 0;
    if (const int id = CheckTiffImport(reader, &bytesPerPixel)) {
        if (error)
            *error = TiffRefusalText(id, reader.Refusal());
        return -1;
    }
    TiffImportJob job(input, output, reader);
    job.bytesPerPixel = bytesPerPixel;
    job.outBytesPerPixel = bytesPerPixel == 3 ? 4 : bytesPerPixel;
    job.width = int(reader.Width());
    job.height = int(reader.Height());
    return TIFFToRdp(job, meter, error);
}
