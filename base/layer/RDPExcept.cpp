#include "layer/RDPExcept.h"

#include <cstring>
#include <mutex>
#include <ostream>

#include "platform/resources/StringTable.h"
#include "VarnokModule.h"

namespace {

const plat::StringEntry kStrings[] = {
    {5039, "Error creating new file !"},
    {5040, "Error creating *.tmp file !"},
    {5041, "Empty layer detected !"},
    {5042, "CRDPLayer object is already used !"},
    {5043, "Error opening file !"},
    {5044, "The file doesn't match this format"},
    {5045, "Memory allocation error !"},
    {5046, "Unable to delete tmp - file !"},
    {5047, "Negative coordinates detected in the file !"},
    {5048, "Error copying data !"},
};
const plat::StringTableRegistration kRegistration(kVarnokModule, kStrings);

constexpr size_t kSlotChars = 67;
char g_causeText[12][kSlotChars + 1] = {"none", "", "", "", "", "", "", "", "", "", "", "CANCEL"};
std::once_flag g_filled;

// Causes 1 to 10 come from the string table, so a host that defines the ids supplies its texts.
void FillTable()
{
    std::call_once(g_filled, [] {
        for (int cause = 1; cause <= 10; ++cause) {
            std::string text = plat::LoadString(5038u + unsigned(cause), kVarnokModule);
            std::strncpy(g_causeText[cause], text.c_str(), kSlotChars);
            g_causeText[cause][kSlotChars] = '\0';
        }
    });
}

}  // namespace

const char* RDPExceptCauseText(int cause)
{
    FillTable();
    if (cause < 0 || cause > 11)
        return "unknown";
    return g_causeText[cause];
}

CRDPExcept::CRDPExcept(int cause, const char* text) : m_cause(cause), m_message(text ? text : "")
{
    FillTable();
}

bool CRDPExcept::GetErrorMessage(char* buf, unsigned max, unsigned*) const
{
    return CopyMessage(m_message, buf, max);
}

void CRDPExcept::Dump(std::ostream& out) const
{
    out << "a " << ClassName() << " at " << static_cast<const void*>(this) << "\n";
    out << " m_cause = " << RDPExceptCauseText(m_cause) << "\n";
}

void AfxThrowRDPExcept(int cause)
{
    throw new CRDPExcept(cause, RDPExceptCauseText(cause));
}

int GetError(plat::Exception* e, std::string& msg)
{
    if (e == nullptr) {
        msg.clear();
        return RDP_FOREIGN;
    }
    char buf[254];
    buf[0] = '\0';
    e->GetErrorMessage(buf, sizeof buf, nullptr);
    msg = buf;
    auto* own = dynamic_cast<CRDPExcept*>(e);
    if (own != nullptr && std::memcmp(own->m_marker, "RDPR", 5) == 0)
        return own->m_cause;
    return RDP_FOREIGN;
}

void RethrowAsRDPExcept(plat::Exception* e)
{
    std::string msg;
    const int cause = GetError(e, msg);
    if (e != nullptr)
        e->Delete();
    AfxThrowRDPExcept(cause);
}
