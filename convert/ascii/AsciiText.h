#pragma once
// The text side of the ASCII import and export, without windows or jobs: the
// point lines read as "%f%f%f" reads them, the statistics of the three columns,
// the checks of the import's column roles and limits, and the two text layouts
// of the export. Numbers are read and written in the C locale whatever the
// process locale is.

#include <cstdint>
#include <functional>
#include <string>

class CMeterInfoBase;

// Reads up to three numbers from the line at text (NUL-terminated, no line end),
// exactly as sscanf(text, "%f%f%f", ...) in the C locale; numbers not read keep
// their values. Answers how many were read (0 to 3; EOF counts as 0).
int ParseAsciiPoint(const char* text, float v[3]);

// Calls line(text, endOffset) for each line of a stream read in blocks through
// read(offset, buf, bytes) (answers how many bytes arrived, 0 at the end); text is
// NUL-terminated without its line feed, endOffset the stream position after it.
// A line longer than maxLine bytes is cut there (the rest belongs to no line).
// Stops early when line answers false.
void ForEachTextLine(const std::function<std::int64_t(std::int64_t, void*, std::int64_t)>& read,
                     const std::function<bool(const char*, std::int64_t)>& line,
                     std::int64_t maxLine = 1 << 20);

// The minimum and maximum of the columns A, B and C of a point file.
struct AsciiStatistics {
    float minimum[3] = {0.0f, 0.0f, 0.0f};
    float maximum[3] = {0.0f, 0.0f, 0.0f};
};

// Scans the lines: the first sets the six values (a number it lacks counts as 0),
// each further one widens them (a number it lacks keeps the line before's). A
// stream without lines leaves stats as they were. Answers whether there was a line.
bool ScanAsciiStatistics(const std::function<std::int64_t(std::int64_t, void*, std::int64_t)>& read,
                         AsciiStatistics* stats);
// The same over a file; false when it cannot be read (stats as they were).
bool ScanAsciiStatisticsFile(const std::string& path, AsciiStatistics* stats);

// What the import job gets.
struct AsciiImportJob {
    std::string input;
    std::string output;
    std::int32_t minX = 0;
    std::int32_t minY = 0;
    std::int32_t maxX = 0;
    std::int32_t maxY = 0;
    std::int32_t columnX = 0;  // 0 for A, 1 for B, 2 for C
    std::int32_t columnY = 1;
    std::int32_t columnZ = 2;
};

// The checks of Execute. roles[i]: the selection of column i's box (0 "X", 1 "Y",
// 2 "Z", -1 none). Answers "" with job's limits and columns set, or the message.
std::string CheckAsciiImport(const int roles[3], const AsciiStatistics& stats, AsciiImportJob* job);

// Fills the FLOAT32 grid (width x height, rows top-down) from the point lines:
// the cell of (int) X - minX, (int) Y - minY gets Z; a line whose X or Y is not
// finite or whose cell lies outside the grid is skipped; later lines win.
// progress(endOffset), when given, is called now and then; it may throw.
void FillAsciiGrid(const std::function<std::int64_t(std::int64_t, void*, std::int64_t)>& read,
                   const AsciiImportJob& job, void** rows, int width, int height,
                   const std::function<void(std::int64_t)>& progress);

// The export's value text of one sample of type (1 to 16) at p (unaligned),
// appended to out: "%u", "%d" or "%f", a complex sample as real, delimiter, imaginary.
void AppendAsciiValue(std::string& out, int type, const unsigned char* p, const std::string& delimiter);
// One image row as text: three columns ("%u" column, delimiter, "%u" row,
// delimiter, value, "\n" per sample) or a matrix line (values joined by the
// delimiter, then "\n"). out is replaced.
void FormatAsciiColumnsRow(std::string& out, int type, const unsigned char* row, int width, int rowIndex,
                           const std::string& delimiter);
void FormatAsciiMatrixRow(std::string& out, int type, const unsigned char* row, int width,
                          const std::string& delimiter);
