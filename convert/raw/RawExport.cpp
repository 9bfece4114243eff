#include "raw/RawExport.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "ExportStrings.h"
#include "platform/dialogs/MessageBox.h"
#include "VarnokApp.h"
#include "conversion/ConversionJob.h"
#include "jobs/MeterInfo.h"
#include "jobs/Run.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPLayer.h"
#include "settings/SNRegKey.h"

std::string RawExportKey()
{
    return GetAppRegKey() + "\\Settings\\Export\\RAW";
}

int ReadRawSaveInfo()
{
    std::string value = "1";
    CSNRegKey key;
    if (key.Open(HKEY_CURRENT_USER, RawExportKey().c_str()))
        key.GetStringValue(value, "Save Info");
    return value == "0" ? 0 : 1;
}

std::string RawInfoText(const std::string& input, const std::string& output, int width, int height, int type)
{
    std::string text = "Файл сгенерирован программой Tolvek VELMORA (TM)\n";
    text += "Преобразован файл " + input + " из формата RDP\n";
    text += "В файл " + output + " в формат RAW\n";
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, "Ширина: %d\nВысота: %d\nТип данных: ", width, height);
    text += numbers + GetDataTypeName(type, 0) + "\n";
    return text;
}

std::string ToCodePage1251(const std::string& utf8)
{
    std::string out;
    iconv_t cd = iconv_open("CP1251", "UTF-8");
    if (cd == iconv_t(-1)) {
        for (unsigned char c : utf8)
            out += c < 0x80 ? char(c) : '?';
        return out;
    }
    std::string in = utf8;
    char* src = in.data();
    std::size_t left = in.size();
    char buf[4096];
    while (left > 0) {
        char* dst = buf;
        std::size_t room = sizeof buf;
        const std::size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buf, std::size_t(dst - buf));
        if (r != std::size_t(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // A character the code page lacks, or a byte that starts none: one '?' for
        // the whole character.
        out += '?';
        std::size_t skip = 1;
        while (skip < left && skip < 4 && (static_cast<unsigned char>(src[skip]) & 0xc0) == 0x80)
            ++skip;
        src += skip;
        left -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

namespace {

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
        return LoadExportString(IDS_EXP_UNKNOWN_ERROR) + " " + message;
    } catch (const std::bad_alloc&) {
        return LoadExportString(IDS_EXP_UNKNOWN_ERROR) + " out of memory";
    } catch (...) {
        return LoadExportString(IDS_EXP_UNKNOWN_ERROR);
    }
}

constexpr std::size_t kWriteChunk = std::size_t(4) << 20;

void WriteAll(plat::File& f, const void* data, std::size_t n)
{
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const unsigned part = unsigned(std::min<std::size_t>(n, 1u << 30));
        f.Write(p, part);
        p += part;
        n -= part;
    }
}

}  // namespace

int RunRawExport(const RawExportJob& job, CMeterInfoBase* meter, std::string* error)
{
    std::string scratch;
    std::string& text = error ? *error : scratch;
    text.clear();
    CRDPLayer layer;
    if (layer.OpenLayer(job.inputFile.c_str(), 0) == nullptr) {
        text = LoadExportString(IDS_EXP_OPEN_FAILED) + " " + job.inputFile;
        return -1;
    }
    // The layer is bound already: the input is compared with the outputs, not opened.
    ConversionJob files;
    files.AddInput(job.inputFile, false);
    const int out = files.AddOutput(job.outputFile, ConversionJob::OutputKind::Plain);
    const int info = job.saveInfo ? files.AddOutput(RawInfoName(job.outputFile), ConversionJob::OutputKind::Plain) : -1;
    if (!files.Open()) {
        text = files.FailureKind() == ConversionJob::Failure::Refused
                   ? files.Error()
                   : LoadExportString(IDS_EXP_CREATE_FAILED) + " " + job.outputFile + "\n" + files.Error();
        return -1;
    }
    try {
        if (info >= 0) {
            if (meter)
                meter->SetText((LoadExportString(IDS_EXP_SAVING_INFO) + "...").c_str());
            const std::string body = ToCodePage1251(
                RawInfoText(job.inputFile, job.outputFile, layer.Width(), layer.Height(), layer.Type()));
            WriteAll(files.Output(info).Out(), body.data(), body.size());
        }
        if (meter) {
            meter->SetRange(0, layer.Height());
            meter->SetPos(0);
            meter->SetText((LoadExportString(IDS_EXP_WRITING_RASTER) + "...").c_str());
        }
        plat::File& raw = files.Output(out).Out();
        const std::size_t rowBytes = std::size_t(layer.RowSize());
        void** rows = layer.Rows();
        // Rows that lie one after another in the mapping go out in one write.
        const int height = layer.Height();
        for (int y = 0; y < height;) {
            int end = y + 1;
            while (end < height && (end - y) * rowBytes < kWriteChunk &&
                   static_cast<unsigned char*>(rows[end]) == static_cast<unsigned char*>(rows[end - 1]) + rowBytes)
                ++end;
            WriteAll(raw, rows[y], std::size_t(end - y) * rowBytes);
            y = end;
            if (meter)
                meter->SetPos(y - 1);
        }
        if (meter)
            meter->SetPos(0);
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

void RawExportWorker(void* data, CMeterInfo* meter)
{
    const std::unique_ptr<RawExportJob> job(static_cast<RawExportJob*>(data));
    std::string error;
    const bool done = RunRawExport(*job, meter, &error) == 0;
    if (!done && meter)
        meter->DeleteOnClose();
    if (!done && !error.empty())
        plat::MessageBox({}, error, LoadExportString(IDS_EXP_RAW_TITLE), plat::MB_OK | plat::MB_ICONWARNING);
}

int ExportRaw(const char* output, const char* input)
{
    auto* job = new RawExportJob;
    job->inputFile = input ? input : "";
    job->outputFile = output ? output : "";
    job->saveInfo = ReadRawSaveInfo();
    char title[8192];
    std::snprintf(title, sizeof title, ": %s -> %s", job->inputFile.c_str(), job->outputFile.c_str());
    Run(LoadExportString(IDS_EXP_RAW_TITLE) + title, RawExportWorker, job);
    return 0;
}
