#include "ascii/AsciiJobs.h"

#include <sys/stat.h>

#include <climits>
#include <memory>
#include <new>

#include "ConversionJobEnd.h"
#include "ascii/AsciiStrings.h"
#include "conversion/ConversionJob.h"
#include "jobs/MeterInfo.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPLayer.h"

namespace {

std::string WithPath(unsigned id, const std::string& path)
{
    return LoadAsciiString(id) + " " + path;
}

}  // namespace

int AsciiImportToRdp(const AsciiImportJob& job, CMeterInfoBase* meter, std::string* error)
{
    std::string scratch;
    std::string& text = error ? *error : scratch;
    text.clear();
    ConversionJob files;
    const int in = files.AddInput(job.input);
    const int out = files.AddOutput(job.output);
    if (!files.Open()) {
        if (files.FailureKind() == ConversionJob::Failure::Refused)
            text = files.Error();
        else if (files.FailureKind() == ConversionJob::Failure::Input)
            text = WithPath(IDS_ASCII_OPEN_FAILED, job.input);
        else
            text = WithPath(IDS_ASCII_CREATE_FAILED, job.output);
        return -1;
    }
    const long long width = (long long)job.maxX - job.minX + 1;
    const long long height = (long long)job.maxY - job.minY + 1;
    CRDPLayer layer(meter);
    try {
        if (width < 1 || height < 1 || width > INT_MAX || height > INT_MAX ||
            !layer.CreateLayer(files.Output(out), int(width), int(height), FLOAT32, 7)) {
            text = WithPath(IDS_ASCII_CREATE_FAILED, job.output);
            return -1;
        }
        struct stat st {};
        const double length = ::fstat(files.InputFd(in), &st) == 0 ? double(st.st_size) : 0.0;
        if (meter) {
            meter->SetRange(0.0, length);
            meter->SetStep(1.0);
        }
        FillAsciiGrid(
            [&](std::int64_t offset, void* buf, std::int64_t bytes) { return files.ReadAt(in, offset, buf, bytes); },
            job, layer.Rows(), int(width), int(height), [&](std::int64_t end) {
                if (meter)
                    meter->SetPos(double(end));
            });
        if (meter)
            meter->SetPos(length);
        layer.CloseLayer();
        if (!files.Commit()) {
            text = WithPath(IDS_ASCII_CREATE_FAILED, job.output) + "\n" + files.Error();
            return -1;
        }
        return 0;
    } catch (...) {
        // The layer lives in the job's temporary, which goes with the job.
        layer.DestroyLayer();
        text = ConversionFailureText();
        return -1;
    }
}

void AsciiImportWorker(void* data, CMeterInfo* meter)
{
    const std::unique_ptr<AsciiImportJob> job(static_cast<AsciiImportJob*>(data));
    std::string error;
    ConversionEnd end;
    end.done = AsciiImportToRdp(*job, meter, &error) == 0;
    end.outputs = {job->output};
    EndConversionJob(meter, end);
    if (!end.done)
        ShowConversionFailure(error);
}

namespace {

// Rows of text are gathered into blocks of about this size before they are written.
constexpr std::size_t kWriteBlock = 1 << 20;

template <typename Format>
void WriteRows(CRDPLayer& layer, plat::File& out, CMeterInfoBase* meter, Format format)
{
    std::string block, row;
    for (int y = 0; y < layer.Height(); ++y) {
        format(row, static_cast<const unsigned char*>(layer.Rows()[y]), y);
        block += row;
        if (block.size() >= kWriteBlock) {
            out.Write(block.data(), unsigned(block.size()));
            block.clear();
        }
        if (meter)
            meter->SetPos(double(y));
    }
    if (!block.empty())
        out.Write(block.data(), unsigned(block.size()));
}

}  // namespace

void WriteAsciiColumns(const AsciiExportJob& job, CRDPLayer& layer, plat::File& out, CMeterInfoBase* meter)
{
    WriteRows(layer, out, meter, [&](std::string& row, const unsigned char* p, int y) {
        FormatAsciiColumnsRow(row, layer.Type(), p, layer.Width(), y, job.delimiter);
    });
}

void WriteAsciiMatrix(const AsciiExportJob& job, CRDPLayer& layer, plat::File& out, CMeterInfoBase* meter)
{
    WriteRows(layer, out, meter, [&](std::string& row, const unsigned char* p, int) {
        FormatAsciiMatrixRow(row, layer.Type(), p, layer.Width(), job.delimiter);
    });
}

int AsciiExportToText(const AsciiExportJob& job, CMeterInfoBase* meter, std::string* error)
{
    std::string scratch;
    std::string& text = error ? *error : scratch;
    text.clear();
    // The layer is bound first; the job compares its file with the output.
    CRDPLayer layer(meter);
    if (!layer.OpenLayer(job.input.c_str(), 0)) {
        text = WithPath(IDS_ASCII_OPEN_FAILED, job.input);
        return -1;
    }
    ConversionJob files;
    files.AddInput(job.input, false);
    const int out = files.AddOutput(job.output, ConversionJob::OutputKind::Plain);
    if (!files.Open()) {
        text = files.FailureKind() == ConversionJob::Failure::Refused ? files.Error()
                                                                      : WithPath(IDS_ASCII_CREATE_FAILED, job.output);
        return -1;
    }
    try {
        if (meter) {
            meter->SetRange(0.0, double(layer.Height()));
            meter->SetPos(0.0);
            meter->SetText((LoadAsciiString(IDS_ASCII_WRITING_RASTER) + "...").c_str());
        }
        if (job.layout == 2)
            WriteAsciiMatrix(job, layer, files.Output(out).Out(), meter);
        else
            WriteAsciiColumns(job, layer, files.Output(out).Out(), meter);
        layer.CloseLayer();
        if (!files.Commit()) {
            text = WithPath(IDS_ASCII_CREATE_FAILED, job.output) + "\n" + files.Error();
            return -1;
        }
        if (meter)
            meter->SetPos(0.0);
        return 0;
    } catch (...) {
        text = ConversionFailureText();
        return -1;
    }
}

void AsciiExportWorker(void* data, CMeterInfo* meter)
{
    const std::unique_ptr<AsciiExportJob> job(static_cast<AsciiExportJob*>(data));
    std::string error;
    ConversionEnd end;
    end.done = AsciiExportToText(*job, meter, &error) == 0;
    EndConversionJob(meter, end);
    if (!end.done)
        ShowConversionFailure(error);
}
