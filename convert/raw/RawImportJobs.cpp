#include "raw/RawImportJobs.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "ConversionJobEnd.h"
#include "platform/files/File.h"
#include "platform/files/TempRegistry.h"
#include "jobs/MeterInfo.h"
#include "raw/RawStrings.h"

std::string ImportEndText(int result, const ReadOutcome& outcome)
{
    if (result != 1)
        return LoadRawString(IDS_RAW_IMPORTING_BREAK);
    return LoadRawString(outcome.shortInput ? IDS_RAW_INPUT_SHORT : IDS_RAW_IMPORT_SUCCESSFUL);
}

void RawImportWorker(void* data, CMeterInfo* meter)
{
    // 1. The job's own copies; the block goes at once.
    ImportParams params;
    std::string output;
    {
        const std::unique_ptr<ImportJob> job(static_cast<ImportJob*>(data));
        params = job->params;
        output = job->outputFile;
    }
    // 2.
    ReadOutcome outcome;
    const int result = params.ReadToRdp(output, meter, &outcome);
    // 3. Nothing imported: the progress window closes instead of ending as a
    // completed operation with a View button for a file that is not there. The
    // end of the job would cover the short-input warning with "Operation completed !".
    ConversionEnd end;
    end.done = result == 1;
    end.text = ImportEndText(result, outcome);
    if (end.done && outcome.shortInput)
        end.endText = end.text;
    end.outputs = {output};
    EndConversionJob(meter, end);
}

void PreviewWorker(void* data, CMeterInfo* meter)
{
    // 1.
    ImportParams params;
    std::string file;
    plat::WindowHandle owner;
    std::shared_ptr<PreviewFileShare> share;
    {
        const std::unique_ptr<PreviewJob> job(static_cast<PreviewJob*>(data));
        params = job->params;
        file = job->previewFile;
        owner = job->owner;
        share = job->share;
    }
    // 2.
    if (meter)
        meter->DeleteOnClose();
    // 3.
    const int result = params.ReadToRdp(file, meter);
    // 4. A dialog closed meanwhile left its preview file to this job.
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
        owner.PostMessage(WM_PREVIEW_READY, result == 1 ? 1 : 0, 0);
        return;
    }
    owner.PostMessage(WM_PREVIEW_READY, result == 1 ? 1 : 0, 0);
}

std::string TempFolder()
{
    std::error_code error;
    std::string folder = std::filesystem::temp_directory_path(error).string();
    if (error || folder.empty())
        folder = "/tmp";
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string MakePreviewFile(const std::string& folder)
{
    const std::string dir = folder.empty() ? TempFolder() : folder;
    std::random_device seed;
    unsigned n = seed() % 100000;
    for (int attempt = 0; attempt < 1000; ++attempt, ++n) {
        const std::string name = dir + "/#preview" + std::to_string(n) + ".rdp";
        plat::File file;
        int osError = 0;
        if (file.Open(name.c_str(), plat::File::modeCreateNew | plat::File::modeWrite, &osError)) {
            plat::RecordTemporary(name);
            return name;
        }
        if (osError != EEXIST)
            return {};
    }
    return {};
}
