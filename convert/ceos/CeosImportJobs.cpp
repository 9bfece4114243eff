#include "ceos/CeosImportJobs.h"

#include <cstdio>
#include <memory>

#include "ConversionJobEnd.h"
#include "ceos/CeosImport.h"
#include "jobs/MeterInfo.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/files/TempRegistry.h"

namespace {

void EndImport(CMeterInfo* meter, const CeosOutcome& outcome, const std::string& output)
{
    if (outcome.result != 1 && !outcome.error.empty())
        plat::MessageBox({}, outcome.error, "", plat::MB_OK | plat::MB_ICONEXCLAMATION);
    ReadOutcome read;
    read.shortInput = outcome.shortInput;
    ConversionEnd end;
    end.done = outcome.result == 1;
    end.text = ImportEndText(outcome.result, read);
    if (end.done && outcome.shortInput)
        end.endText = end.text;
    end.outputs = {output};
    EndConversionJob(meter, end);
}

}  // namespace

void CeosImportWorker(void* data, CMeterInfo* meter)
{
    ImportParams params;
    std::string output;
    {
        const std::unique_ptr<ImportJob> job(static_cast<ImportJob*>(data));
        params = job->params;
        output = job->outputFile;
    }
    EndImport(meter, CeosImportToRdp(params, output, meter), output);
}

void SirCImportWorker(void* data, CMeterInfo* meter)
{
    ImportParams params;
    std::string output;
    int groupBytes = 0;
    {
        const std::unique_ptr<SirCJob> job(static_cast<SirCJob*>(data));
        params = job->params;
        output = job->outputFile;
        groupBytes = job->groupBytes;
    }
    EndImport(meter, SirCImportToRdp(params, output, groupBytes, meter), output);
}

void SirCPreviewWorker(void* data, CMeterInfo* meter)
{
    ImportParams params;
    std::string file;
    plat::WindowHandle owner;
    std::shared_ptr<PreviewFileShare> share;
    int groupBytes = 0;
    {
        const std::unique_ptr<SirCPreviewJob> job(static_cast<SirCPreviewJob*>(data));
        params = job->preview.params;
        file = job->preview.previewFile;
        owner = job->preview.owner;
        share = job->preview.share;
        groupBytes = job->groupBytes;
    }
    if (meter)
        meter->DeleteOnClose();
    const int result = SirCImportToRdp(params, file, groupBytes, meter).result;
    // A dialog closed meanwhile left its preview file to this job.
    if (share) {
        const std::lock_guard<std::mutex> lock(share->mutex);
        --share->jobsRunning;
        if (share->dialogGone) {
            if (share->jobsRunning == 0) {
                std::remove(file.c_str());
                plat::ForgetTemporary(file);
            }
            return;
        }
    }
    owner.PostMessage(WM_PREVIEW_READY, result == 1 ? 1 : 0, 0);
}
