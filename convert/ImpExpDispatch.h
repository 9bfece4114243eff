#pragma once
// From the import/export dialog's two files to the converter of their pair: the
// checks made before anything starts, and the table of converter entries.

#include <string>

// A converter entry: its two paths in the entry's own order; the answer is ignored.
using ConverterEntry = int (*)(const char* first, const char* second);

struct ConverterRow {
    int inputCode;
    int outputCode;
    const char* entryName;
    bool outputFirst;      // the entry takes (output, input) rather than (input, output)
    ConverterEntry entry;  // null while the converter is not built: its pair does nothing
};

// The row serving a pair: input 7 chooses by output code, output 7 by input code,
// "All files" going to the raw import; null for any other pair.
const ConverterRow* FindConverterRow(int inputCode, int outputCode);

// Starts the converter of the pair with the two paths in its order. Answers whether
// an entry was called.
bool DispatchConversion(int inputCode, int outputCode, const std::string& inputPath,
                        const std::string& outputPath);

// Puts entry in the row of the pair (tests put recording stand-ins there); answers
// the entry it replaced. The pair must have a row.
ConverterEntry SetConverterEntry(int inputCode, int outputCode, ConverterEntry entry);

// What the dialog holds when Execute is pressed.
struct ExecuteRequest {
    bool inputChosen = false;  // the input control holds a chosen file
    bool outputNamed = false;  // the output control holds a file name
    int inputCode = -1;        // item data of the combos' selections
    int outputCode = -1;
    std::string inputPath;
    std::string outputPath;
};

// The outcome of the checks: a refusal with its message, or the pair to dispatch,
// after the overwrite question when replaceQuestion is not empty.
// An output that is the input file (by another name, or through a link) is refused
// with the conversion road's text and no string id.
struct ExecuteVerdict {
    unsigned refusalId = 0;  // string id of the refusal, 0 when the pair may go or the road refused it
    std::string message;     // text of the refusal
    std::string replaceQuestion;
    int inputCode = -1;
    int outputCode = -1;
    std::string inputPath;
    std::string outputPath;

    bool Refused() const { return refusalId != 0 || !message.empty(); }
};

ExecuteVerdict CheckExecute(const ExecuteRequest& request);
