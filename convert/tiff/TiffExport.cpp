#include "tiff/TiffExport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "ExportStrings.h"
#include "platform/dialogs/MessageBox.h"
#include "PalitraTag.h"
#include "VarnokApp.h"
#include "conversion/ConversionJob.h"
#include "jobs/MeterInfo.h"
#include "jobs/Run.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPLayer.h"
#include "settings/SNRegKey.h"

std::string TiffExportKey()
{
    return GetAppRegKey() + "\\Settings\\Export\\TIFF";
}

TiffExportJob ReadTiffExportSettings()
{
    std::string cut = "0";
    std::string color = "0";
    CSNRegKey key;
    if (key.Open(HKEY_CURRENT_USER, TiffExportKey().c_str())) {
        key.GetStringValue(cut, "Cut2Sigma");
        key.GetStringValue(color, "Color");
    }
    TiffExportJob job;
    job.cut2Sigma = cut == "1" ? 1 : 0;
    job.color = color == "2" ? 2 : color == "3" ? 3 : 1;
    return job;
}

TiffStripLayout ComputeTiffStrips(std::uint32_t width, std::uint32_t height, int bytesPerSample)
{
    TiffStripLayout l;
    l.rowBytes = std::uint64_t(width) * std::uint64_t(bytesPerSample > 0 ? bytesPerSample : 1);
    if (l.rowBytes == 0 || height == 0)
        return l;
    if (l.rowBytes > 64000) {
        l.rowsPerStrip = 1;
        l.strips = height;
        l.lastStripBytes = l.rowBytes;
        return l;
    }
    l.rowsPerStrip = std::uint32_t(64000 / l.rowBytes);
    l.strips = height / l.rowsPerStrip;
    const std::uint32_t rest = height % l.rowsPerStrip;
    if (rest != 0) {
        ++l.strips;
        l.lastStripBytes = std::uint64_t(rest) * l.rowBytes;
    } else {
        l.lastStripBytes = std::uint64_t(l.rowsPerStrip) * l.rowBytes;
    }
    return l;
}

namespace {

void Put16(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<unsigned char>(v & 0xff);
    b[at + 1] = static_cast<unsigned char>((v >> 8) & 0xff);
}

void Put32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v)
{
    Put16(b, at, v & 0xffff);
    Put16(b, at + 2, v >> 16);
}

// SampleFormat of the samples a Color 2/3 export writes: 0 for unsigned (no entry),
// 2 signed, 3 float, 5 complex signed, 6 complex float; -1 without a TIFF form.
int SampleFormatOf(int type)
{
    switch (type) {
    case UINT8:
    case UINT16:
    case UINT32:
        return 0;
    case SINT8:
    case SINT16:
    case SINT32:
        return 2;
    case FLOAT32:
    case FLOAT64:
        return 3;
    case CSINT8:
    case CSINT16:
    case CSINT32:
        return 5;
    case CFLOAT32:
    case CFLOAT64:
        return 6;
    default:
        return -1;
    }
}

}  // namespace

bool BuildTiffExportHeader(int width, int height, int type, int color, const unsigned char* palette,
                           TiffExportHeader& out)
{
    out = TiffExportHeader{};
    if (width <= 0 || height <= 0 || GetDataTypeSize(type) <= 0)
        return false;
    const bool own = color == 2 || color == 3;
    int bytes = 1;
    if (own) {
        out.sampleFormat = SampleFormatOf(type);
        if (out.sampleFormat < 0)
            return false;
        bytes = GetDataTypeSize(type);
    }
    out.bitsPerSample = 8 * bytes;
    out.colorMap = type == UINT8 && palette != nullptr;
    const TiffStripLayout l = ComputeTiffStrips(std::uint32_t(width), std::uint32_t(height), bytes);
    out.layout = l;

    const int entries = 10 + (out.colorMap ? 1 : 0) + (out.sampleFormat ? 1 : 0);
    const std::uint32_t nextDir = 10 + 12 * std::uint32_t(entries);
    const std::uint32_t mapAt = nextDir + 4;
    const std::uint32_t dataStart = mapAt + (out.colorMap ? 1536 : 0);
    const std::uint64_t tables = l.strips > 1 ? 8ull * l.strips : 0;
    const std::uint64_t total = dataStart + tables + l.rowBytes * std::uint64_t(height);
    if (total > 0xffffffffull)
        return false;
    const std::uint32_t rowsAt = dataStart + std::uint32_t(tables);

    std::vector<unsigned char>& b = out.bytes;
    b.assign(rowsAt, 0);
    b[0] = 'I';
    b[1] = 'I';
    Put16(b, 2, 42);
    Put32(b, 4, 8);
    Put16(b, 8, std::uint32_t(entries));
    std::size_t at = 10;
    auto entry = [&](std::uint32_t tag, std::uint32_t ftype, std::uint32_t count, std::uint32_t value) {
        Put16(b, at, tag);
        Put16(b, at + 2, ftype);
        Put32(b, at + 4, count);
        if (ftype == 3 && count == 1)
            Put16(b, at + 8, value);
        else
            Put32(b, at + 8, value);
        at += 12;
    };
    const bool many = l.strips > 1;
    entry(256, 4, 1, std::uint32_t(width));
    entry(257, 4, 1, std::uint32_t(height));
    entry(258, 3, 1, std::uint32_t(out.bitsPerSample));
    entry(259, 3, 1, 1);
    entry(262, 3, 1, out.colorMap ? 3 : 1);
    entry(273, 4, l.strips, many ? dataStart + 4 * l.strips : dataStart);
    entry(277, 3, 1, 1);
    entry(278, 3, 1, l.rowsPerStrip);
    entry(279, 4, l.strips, many ? dataStart : std::uint32_t(l.lastStripBytes));
    entry(284, 3, 1, 1);
    if (out.colorMap)
        entry(320, 3, 768, mapAt);
    if (out.sampleFormat)
        entry(339, 3, 1, std::uint32_t(out.sampleFormat));
    Put32(b, nextDir, 0);
    if (out.colorMap) {
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 256; ++i)
                Put16(b, mapAt + 2 * (256 * c + i), std::uint32_t(palette[3 * i + c]) * 257u);
    }
    if (many) {
        const std::uint64_t full = std::uint64_t(l.rowsPerStrip) * l.rowBytes;
        for (std::uint32_t i = 0; i < l.strips; ++i) {
            const bool last = i + 1 == l.strips;
            Put32(b, dataStart + 4 * i, std::uint32_t(last ? l.lastStripBytes : full));
            Put32(b, dataStart + 4 * (l.strips + i), std::uint32_t(rowsAt + i * full));
        }
    }
    return true;
}

void TiffScaleWindow(double min, double max, double mean, double stdDev, bool cut, double* low, double* high)
{
    *low = min;
    *high = max;
    if (!cut)
        return;
    const double lo = mean - 2.0 * stdDev;
    const double hi = mean + 2.0 * stdDev;
    *low = lo > min ? lo : min;
    *high = hi >= max ? max : hi;
}

void ScaleRowToBytes(const double* values, unsigned char* bytes, std::int64_t n, double low, double high, bool cut)
{
    // A window wider than a double holds is scaled in halves.
    const bool halves = !std::isfinite(high - low);
    const double lo = halves ? low * 0.5 : low;
    const double width = halves ? high * 0.5 - low * 0.5 : high - low;
    const bool flat = !(width > 0.0) || !std::isfinite(width);
    const double k = flat ? 0.0 : 255.0 / width;
    for (std::int64_t i = 0; i < n; ++i) {
        const double v = values[i];
        if (cut && v > high) {
            bytes[i] = 255;
            continue;
        }
        if (flat || !(v >= low)) {  // below the window, or not comparable
            bytes[i] = 0;
            continue;
        }
        double s = ((halves ? v * 0.5 : v) - lo) * k;
        s = s > 255.0 ? 255.0 : s;
        bytes[i] = static_cast<unsigned char>(std::nearbyint(s));
    }
}

namespace {

// The palette's 768 colour bytes when the layer carries a whole palette tag.
bool ReadPalette(CRDPLayer& layer, PalitraTag& palette)
{
    palette = PalitraTag{};
    palette.length = 0;
    if (layer.GetTag(kPalitraTagNumber, kPalitraTagSize, &palette) == nullptr)
        return false;
    return palette.length >= kPalitraTagSize;
}

std::string TextOf(unsigned id, const std::string& reason)
{
    std::string text = LoadExportString(id);
    if (!reason.empty())
        text += " " + reason;
    return text;
}

// The text a failure shows; "" for a cancel, which ends silently.
std::string CurrentExceptionText()
{
    try {
        throw;
    } catch (plat::Exception* e) {
        std::string message;
        const int cause = GetError(e, message);
        e->Delete();
        if (cause == RDP_CANCEL)
            return {};
        return TextOf(IDS_EXP_UNKNOWN_ERROR, message);
    } catch (const std::bad_alloc&) {
        return TextOf(IDS_EXP_UNKNOWN_ERROR, "out of memory");
    } catch (...) {
        return LoadExportString(IDS_EXP_UNKNOWN_ERROR);
    }
}

class FileSink final : public TiffSink {
public:
    explicit FileSink(plat::File& f) : m_file(f) {}
    void Write(const void* data, std::size_t n) override
    {
        const auto* p = static_cast<const unsigned char*>(data);
        while (n > 0) {
            const unsigned part = unsigned(std::min<std::size_t>(n, 1u << 30));
            m_file.Write(p, part);
            p += part;
            n -= part;
        }
    }

private:
    plat::File& m_file;
};

}  // namespace

int WriteTIFFFile(CRDPLayer* layer, TiffSink& out, CMeterInfoBase* meter, std::string* error,
                  const TiffExportJob& job)
{
    std::string scratch;
    std::string& text = error ? *error : scratch;
    text.clear();
    try {
        if (meter) {
            meter->SetRange(0, 50);
            meter->SetStep(10);
            meter->SetPos(0);
            meter->SetText((LoadExportString(IDS_EXP_PREPARING) + "...").c_str());
        }
        const int type = layer->Type();
        PalitraTag palette;
        const bool hasPalette = type == UINT8 && ReadPalette(*layer, palette);
        TiffExportHeader header;
        if (!BuildTiffExportHeader(layer->Width(), layer->Height(), type, job.color,
                                   hasPalette ? &palette.entries[0][0] : nullptr, header)) {
            text = TextOf(IDS_EXP_UNSUPPORTED, "(" + GetDataTypeName(type, 0) + ")");
            return -1;
        }
        if (meter) {
            meter->StepIt();
            meter->SetText((LoadExportString(IDS_EXP_WRITING_PARAMS) + "...").c_str());
        }
        out.Write(header.bytes.data(), header.bytes.size());
        if (meter) {
            meter->StepIt();
            meter->SetRange(0, layer->Height());
            meter->SetPos(0);
            meter->SetText((LoadExportString(IDS_EXP_WRITING_RASTER) + "...").c_str());
        }
        const int width = layer->Width();
        void** rows = layer->Rows();
        if (job.color == 2 || job.color == 3) {
            const std::size_t rowBytes = std::size_t(header.layout.rowBytes);
            // Rows that lie one after another in the mapping go out in one write.
            const std::size_t chunk = std::size_t(4) << 20;
            const int height = layer->Height();
            for (int y = 0; y < height;) {
                int end = y + 1;
                while (end < height && (end - y) * rowBytes < chunk &&
                       static_cast<unsigned char*>(rows[end]) ==
                           static_cast<unsigned char*>(rows[end - 1]) + rowBytes)
                    ++end;
                out.Write(rows[y], std::size_t(end - y) * rowBytes);
                y = end;
                if (meter)
                    meter->SetPos(y - 1);
            }
        } else {
            double low = 0, high = 0;
            TiffScaleWindow(layer->Min(), layer->Max(), layer->Mean(), layer->StdDev(), job.cut2Sigma != 0, &low,
                            &high);
            std::vector<double> values(static_cast<std::size_t>(width));
            std::vector<unsigned char> bytes(static_cast<std::size_t>(width));
            for (int y = 0; y < layer->Height(); ++y) {
                layer->GetDoubleLine(y, values.data(), 1);
                ScaleRowToBytes(values.data(), bytes.data(), width, low, high, job.cut2Sigma != 0);
                out.Write(bytes.data(), bytes.size());
                if (meter)
                    meter->SetPos(y);
            }
        }
        if (meter)
            meter->SetPos(0);
        return 0;
    } catch (...) {
        text = CurrentExceptionText();
        return -1;
    }
}

int RunTiffExport(const TiffExportJob& job, CMeterInfoBase* meter, std::string* error)
{
    std::string scratch;
    std::string& text = error ? *error : scratch;
    text.clear();
    CRDPLayer layer(meter);
    if (layer.OpenLayer(job.inputFile.c_str(), 0) == nullptr) {
        text = LoadExportString(IDS_EXP_OPEN_FAILED) + " " + job.inputFile;
        return -1;
    }
    // The layer is bound already: the input is compared with the output, not opened.
    ConversionJob files;
    files.AddInput(job.inputFile, false);
    const int out = files.AddOutput(job.outputFile, ConversionJob::OutputKind::Plain);
    if (!files.Open()) {
        text = files.FailureKind() == ConversionJob::Failure::Refused
                   ? files.Error()
                   : LoadExportString(IDS_EXP_CREATE_FAILED) + " " + job.outputFile + "\n" + files.Error();
        return -1;
    }
    try {
        FileSink sink(files.Output(out).Out());
        if (WriteTIFFFile(&layer, sink, meter, &text, job) != 0)
            return -1;
        layer.CloseLayer();
        if (!files.Commit()) {
            text = LoadExportString(IDS_EXP_CREATE_FAILED) + " " + job.outputFile + "\n" + files.Error();
            return -1;
        }
        return 0;
    } catch (...) {
        text = CurrentExceptionText();
        return -1;
    }
}

void TiffExportWorker(void* data, CMeterInfo* meter)
{
    const std::unique_ptr<TiffExportJob> job(static_cast<TiffExportJob*>(data));
    std::string error;
    const bool done = RunTiffExport(*job, meter, &error) == 0;
    // Nothing written: the window closes rather than reporting completion.
    if (!done && meter)
        meter->DeleteOnClose();
    if (!done && !error.empty())
        plat::MessageBox({}, error, LoadExportString(IDS_EXP_TIFF_TITLE), plat::MB_OK | plat::MB_ICONWARNING);
}

int ExportTIFF(const char* output, const char* input)
{
    auto* job = new TiffExportJob(ReadTiffExportSettings());
    job->inputFile = input ? input : "";
    job->outputFile = output ? output : "";
    char title[8192];
    std::snprintf(title, sizeof title, ": %s->%s", job->inputFile.c_str(), job->outputFile.c_str());
    // An export offers nothing to view: no completion function.
    Run(LoadExportString(IDS_EXP_TIFF_TITLE) + title, TiffExportWorker, job);
    return 0;
}
