#include "platform/errors/Exception.h"

#include <cerrno>
#include <cstring>

namespace plat {

bool Exception::CopyMessage(const std::string& text, char* buf, unsigned max)
{
    if (buf == nullptr || max == 0)
        return true;
    size_t n = text.size();
    if (n > max - 1)
        n = max - 1;
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return true;
}

bool Exception::GetErrorMessage(char* buf, unsigned max, unsigned*) const
{
    return CopyMessage(Message(), buf, max);
}

void Exception::Delete()
{
    if (m_bAutoDelete)
        delete this;
}

std::string FileException::Message() const
{
    std::string text = m_strFileName.empty() ? std::string("File error") : "File \"" + m_strFileName + "\"";
    if (m_lOsError != 0) {
        text += ": ";
        text += std::strerror(m_lOsError);
    }
    text += '.';
    return text;
}

void FileException::ThrowOsError(int osError, const std::string& fileName)
{
    Cause cause = genericException;
    // clang-format off
    switch (osError) {
    case ENOENT: cause = fileNotFound; break;
    case ENOTDIR:
    case ENAMETOOLONG: cause = badPath; break;
    case EACCES:
    case EPERM:
    case EROFS: cause = accessDenied; break;
    case ENOSPC:
    case EDQUOT: cause = diskFull; break;
    default: break;
    }
    // clang-format on
    throw new FileException(cause, osError, fileName);
}

void ThrowMemoryException()
{
    throw new MemoryException();
}

}  // namespace plat
