#pragma once
// The TIFF export: a layer of a raster layer file as a baseline, uncompressed,
// little-endian TIFF, either as 8-bit grey levels scaled from the layer's range
// (or a window of two deviations round its mean) or as the layer's own samples.
// The output replaces its file only when complete; a failure or a cancel leaves
// the old file as it was.

#include <cstdint>
#include <string>
#include <vector>

class CMeterInfo;
class CMeterInfoBase;
class CRDPLayer;

// Where WriteTIFFFile puts its bytes.
class TiffSink {
public:
    virtual void Write(const void* data, std::size_t n) = 0;

protected:
    ~TiffSink() = default;
};

struct TiffExportJob {
    std::string inputFile;
    std::string outputFile;
    int cut2Sigma = 0;  // 1: clip to mean +- 2 deviations (Color 1 only)
    int color = 1;      // 1: 8-bit grey; 2, 3: the layer's own samples
};

// "Cut2Sigma" and "Color" as the export reads them (missing key: "0" and "0");
// a Color other than 2 or 3 counts as 1.
TiffExportJob ReadTiffExportSettings();
// Settings key of the TIFF export (under the application key).
std::string TiffExportKey();

struct TiffStripLayout {
    std::uint64_t rowBytes = 0;
    std::uint32_t rowsPerStrip = 0;
    std::uint32_t strips = 0;
    std::uint64_t lastStripBytes = 0;  // bytes of the last strip
};
// Strips of about 64000 bytes: r = 64000 / rowBytes rows (one row when a row is
// larger), a shorter last strip for the remainder.
TiffStripLayout ComputeTiffStrips(std::uint32_t width, std::uint32_t height, int bytesPerSample);

// Everything before the pixel rows of an export, and where the rows start.
struct TiffExportHeader {
    std::vector<unsigned char> bytes;
    TiffStripLayout layout;
    int bitsPerSample = 8;
    int sampleFormat = 0;  // 0: no SampleFormat entry
    bool colorMap = false;
};
// palette: the 768 bytes of a palette tag's 256 red, green, blue triples, or null.
// False (with nothing built) for a sample type the TIFF form cannot carry, or an
// image whose file would exceed 4 GiB.
bool BuildTiffExportHeader(int width, int height, int type, int color, const unsigned char* palette,
                           TiffExportHeader& out);

// One row of values to grey bytes: (v - low) / (high - low) x 255, rounded half to
// even and clamped to 0..255; values outside low..high (NaN too) saturate, a
// zero-width range gives 0.
void ScaleRowToBytes(const double* values, unsigned char* bytes, std::int64_t n, double low, double high,
                     bool cut);
// The scaling window of Color 1: the full range, or with cut the two-deviation
// window clipped to it.
void TiffScaleWindow(double min, double max, double mean, double stdDev, bool cut, double* low, double* high);

// Writes the header and the rows of layer to out's current position.
// 0, or -1 with error set.
int WriteTIFFFile(CRDPLayer* layer, TiffSink& out, CMeterInfoBase* meter, std::string* error,
                  const TiffExportJob& job);

// The export on the conversion road. 0, or -1 with error set ("" for a cancel)
// and the old output as it was.
int RunTiffExport(const TiffExportJob& job, CMeterInfoBase* meter, std::string* error);
// The job Run starts: takes the heap TiffExportJob and shows a failure's text.
void TiffExportWorker(void* job, CMeterInfo* meter);
// Starts the export of input into output with the stored settings.
int ExportTIFF(const char* output, const char* input);
