#include "ImpExpDispatch.h"

#include <filesystem>
#include <system_error>

#include "ConverterDialog.h"
#include "FormatTable.h"
#include "conversion/ConversionJob.h"
#include "MirvaneStrings.h"
#include "ascii/AsciiExportDlg.h"
#include "ascii/AsciiImportDlg.h"
#include "bmp/BmpImportDlg.h"
#include "ceos/CeosImportDlg.h"
#include "raw/RawExport.h"
#include "raw/RawImportDlg.h"
#include "tiff/TIFFImportDlg.h"
#include "tiff/TiffExport.h"

namespace {

// Each converter's own module fills its entry here when it is built.
ConverterRow g_rows[] = {
    {FORMAT_RDP, FORMAT_RAW, "ExportRaw", true, &ExportRaw},
    {FORMAT_RDP, FORMAT_TIFF, "ExportTIFF", true, &ExportTIFF},
    {FORMAT_RDP, FORMAT_ASCII, "LaunchAsciiExport", true, &LaunchAsciiExport},
    {FORMAT_RAW, FORMAT_RDP, "LaunchRawImport", false, &LaunchRawImport},
    {FORMAT_TIFF, FORMAT_RDP, "LaunchTiffImport", false, &LaunchTiffImport},
    {FORMAT_CEOS_RADARSAT, FORMAT_RDP, "LaunchCeosRadarsatImport", false, &LaunchCeosRadarsatImport},
    {FORMAT_CEOS_ERS, FORMAT_RDP, "LaunchCeosErsImport", false, &LaunchCeosErsImport},
    {FORMAT_CEOS_SIRC, FORMAT_RDP, "LaunchCeosSirCImport", false, &LaunchCeosSirCImport},
    {FORMAT_ASCII, FORMAT_RDP, "LaunchAsciiImport", true, &LaunchAsciiImport},
    {FORMAT_BMP, FORMAT_RDP, "LaunchBmpImport", false, &LaunchBmpImport},
};

ConverterRow* FindRow(int inputCode, int outputCode)
{
    if (inputCode == FORMAT_ALL_FILES && outputCode == FORMAT_RDP)
        inputCode = FORMAT_RAW;
    if (inputCode != FORMAT_RDP && outputCode != FORMAT_RDP)
        return nullptr;
    for (ConverterRow& row : g_rows)
        if (row.inputCode == inputCode && row.outputCode == outputCode)
            return &row;
    return nullptr;
}

bool Exists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace

const ConverterRow* FindConverterRow(int inputCode, int outputCode)
{
    return FindRow(inputCode, outputCode);
}

bool DispatchConversion(int inputCode, int outputCode, const std::string& inputPath,
                        const std::string& outputPath)
{
    const ConverterRow* row = FindRow(inputCode, outputCode);
    if (!row || !row->entry)
        return false;
    if (row->outputFirst)
        row->entry(outputPath.c_str(), inputPath.c_str());
    else
        row->entry(inputPath.c_str(), outputPath.c_str());
    return true;
}

ConverterEntry SetConverterEntry(int inputCode, int outputCode, ConverterEntry entry)
{
    ConverterRow* row = FindRow(inputCode, outputCode);
    if (!row)
        return nullptr;
    const ConverterEntry previous = row->entry;
    row->entry = entry;
    return previous;
}

ExecuteVerdict CheckExecute(const ExecuteRequest& request)
{
    ExecuteVerdict verdict;
    auto refuse = [&](unsigned id, const std::string& tail = {}) {
        verdict.refusalId = id;
        verdict.message = LoadMirvaneString(id) + tail;
        return verdict;
    };
    if (!request.inputChosen)
        return refuse(IDS_SELECT_INPUT);
    if (!request.outputNamed)
        return refuse(IDS_SELECT_OUTPUT);
    if (request.inputPath.empty() || request.outputPath.empty())
        return refuse(IDS_NAMES_EMPTY);
    // A folder is no input file either.
    std::error_code error;
    if (!Exists(request.inputPath) || std::filesystem::is_directory(request.inputPath, error))
        return refuse(IDS_INPUT_NOT_FOUND, "\n" + request.inputPath);
    ConversionJob files;
    files.AddInput(request.inputPath);
    files.AddOutput(request.outputPath);
    if (std::string refusal = files.Refusal(); !refusal.empty()) {
        verdict.message = std::move(refusal);
        return verdict;
    }
    if (Exists(request.outputPath))
        verdict.replaceQuestion = ReplaceQuestion(request.outputPath);
    verdict.inputCode = request.inputCode;
    verdict.outputCode = request.outputCode;
    verdict.inputPath = request.inputPath;
    verdict.outputPath = request.outputPath;
    return verdict;
}
