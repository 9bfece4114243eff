#pragma once
// The exception of raster layer file and layer operations, thrown by pointer.

#include <iosfwd>
#include <string>

#include "platform/errors/Exception.h"

// Cause codes.
enum RDPExceptCause {
    RDP_NONE = 0,
    RDP_CREATE_FILE = 1,
    RDP_CREATE_TMP = 2,
    RDP_EMPTY_LAYER = 3,
    RDP_ALREADY_USED = 4,
    RDP_OPEN_FILE = 5,
    RDP_BAD_FORMAT = 6,
    RDP_MEMORY = 7,
    RDP_DELETE_TMP = 8,
    RDP_NEGATIVE_COORD = 9,
    RDP_COPY_DATA = 10,
    RDP_CANCEL = 11,
    RDP_FOREIGN = 12,  // given by GetError for any other exception; never stored
};

class CRDPExcept final : public plat::Exception {
public:
    explicit CRDPExcept(int cause = 0, const char* text = nullptr);

    bool GetErrorMessage(char* buf, unsigned max, unsigned* helpContext = nullptr) const override;
    // Writes " m_cause = ", the cause's table text and a newline.
    void Dump(std::ostream& out) const;

    static const char* ClassName() { return "CRDPExcept"; }

    char m_marker[8] = {'R', 'D', 'P', 'R', 0, 0, 0, 0};
    int m_cause = 0;
    std::string m_message;

protected:
    std::string Message() const override { return m_message; }
};

// Text of a cause from the process-wide table; "unknown" outside 0 to 11.
const char* RDPExceptCauseText(int cause);

// Throws a new CRDPExcept carrying the cause's table text.
[[noreturn]] void AfxThrowRDPExcept(int cause);

// Stores e's message in msg; returns e's cause for a CRDPExcept, else 12.
// Does not delete e.
int GetError(plat::Exception* e, std::string& msg);

// Deletes e and throws a new CRDPExcept with e's cause (12 for a foreign one).
[[noreturn]] void RethrowAsRDPExcept(plat::Exception* e);
