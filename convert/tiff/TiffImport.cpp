#include "tiff/TiffImport.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "MessageBox.h"
#include "PalitraTag.h"
#include "files/OrderFile.h"
#include "jobs/MeterInfo.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
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

void CloseOnEnd(CMeterInfoBase* meter)
{
    if (auto* window = dynamic_cast<CMeterInfo*>(meter))
        window->DeleteOnClose();
}

// Takes every output away: bound layers with their files, closed ones by name.
void RemoveOutputs(std::vector<CRDPLayer>& layers, const std::vector<std::string>& names)
{
    for (CRDPLayer& layer : layers) {
        try {
            layer.DestroyLayer();
        } catch (plat::Exception* e) {
            e->Delete();
        } catch (...) {
        }
    }
    for (const std::string& name : names)
        std::remove(name.c_str());
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

int ReadTiffPixels(COrderFile* file, CRDPLayer* layers, CMeterInfoBase* meter, std::string* error,
                   const TiffImportJob& job)
{
    const int planes = (job.separate && job.bytesPerPixel == 3) ? 3 : 1;
    unsigned char* pixels[3] = {};
    for (int i = 0; i < planes; ++i)
        pixels[i] = layers[i].Pixels();
    try {
        const CTIFFReader reader = job.reader;
        reader.ReadStrips(file, pixels, meter, job.x, job.y, job.width, job.height, job.bytesPerPixel,
                          job.outBytesPerPixel);
        return 0;
    } catch (...) {
        if (error)
            *error = CurrentExceptionText();
        CloseOnEnd(meter);
        return -1;
    }
}

int TIFFToRdp(const TiffImportJob& job, CMeterInfoBase* meter, std::string* error)
{
    std::string scratch;
    std::string& text = error ? *error : scratch;
    text.clear();
    const std::vector<std::string> names = TiffOutputNames(job);
    std::vector<CRDPLayer> layers;
    try {
        COrderFile in;
        if (!in.Open(job.inputFile.c_str(), plat::File::modeRead)) {
            text = LoadTiffString(IDS_TIFF_OPEN_FAILED);
            return -1;
        }
        const int type = names.size() == 3 ? int(UINT8) : job.reader.LayerType(job.outBytesPerPixel);
        if (type == 0) {
            text = LoadTiffString(IDS_TIFF_UNSUPPORTED);
            return -1;
        }
        layers.reserve(names.size());
        for (const std::string& name : names) {
            layers.emplace_back(meter);
            if (layers.back().CreateLayer(name.c_str(), job.width, job.height, type, 7) == nullptr) {
                layers.pop_back();
                RemoveOutputs(layers, {});
                text = LoadTiffString(IDS_TIFF_CREATE_FAILED);
                return -1;
            }
        }
        if (ReadTiffPixels(&in, layers.data(), meter, &text, job) != 0) {
            RemoveOutputs(layers, {});
            return -1;
        }
        in.Close();
        for (CRDPLayer& layer : layers)
            layer.CloseLayer();
        const CTIFFReader& tiff = job.reader;
        if (tiff.Photometric() == 3 && tiff.SamplesPerPixel() == 1 && tiff.BitsPerSample()[0] == 8) {
            PalitraTag palette;
            WritePaletteTag(job, meter, palette);
            if (!SetTag(job.outputFile.c_str(), kPalitraTagNumber, kPalitraTagSize, &palette)) {
                RemoveOutputs(layers, names);
                text = LoadTiffString(IDS_TIFF_CREATE_FAILED);
                return -1;
            }
        }
        return 0;
    } catch (...) {
        text = CurrentExceptionText();
        CloseOnEnd(meter);
        RemoveOutputs(layers, names);
        return -1;
    }
}

void TiffImportWorker(void* data, CMeterInfo* meter)
{
    const std::unique_ptr<TiffImportJob> job(static_cast<TiffImportJob*>(data));
    std::string error;
    if (TIFFToRdp(*job, meter, &error) == 0)
        return;
    // Nothing imported: the progress window closes rather than offering View.
    if (meter)
        meter->DeleteOnClose();
    if (!error.empty())
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
    if (reader.ReadDirectory() != 0 || reader.InterpretTags() != 1) {
        if (error)
            *error = TiffRefusalText(IDS_TIFF_INVALID, reader.Refusal());
        return -1;
    }
    int bytesPerPixel = 0;
    if (const int id = reader.CheckInput(&bytesPerPixel)) {
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
