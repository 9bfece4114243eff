#pragma once
// Base of the exceptions that the suite's libraries throw by pointer.
// A catcher takes `plat::Exception*`, asks for the message and calls Delete().

#include <string>

namespace plat {

class Exception {
public:
    Exception() = default;
    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;
    virtual ~Exception() = default;

    // Copies the message into buf, cut to max - 1 characters and terminated.
    // Writes nothing when max is 0. helpContext is left alone.
    virtual bool GetErrorMessage(char* buf, unsigned max, unsigned* helpContext = nullptr) const;

    // Frees an exception that was thrown by pointer (auto-delete set).
    void Delete();

    bool m_bAutoDelete = true;

protected:
    virtual std::string Message() const { return {}; }

    // Shared copy into a caller's buffer for GetErrorMessage overrides.
    static bool CopyMessage(const std::string& text, char* buf, unsigned max);
};

// Allocation failure of the framework.
class MemoryException final : public Exception {
protected:
    std::string Message() const override { return "Out of memory."; }
};

// File open/read/write failure of the framework; carries the file name and errno.
class FileException final : public Exception {
public:
    enum Cause {
        none,
        genericException,
        fileNotFound,
        badPath,
        accessDenied,
        diskFull,
        endOfFile
    };
    FileException(Cause cause, int osError, std::string fileName)
        : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName))
    {}

    Cause m_cause = none;
    int m_lOsError = 0;
    std::string m_strFileName;

    [[noreturn]] static void ThrowOsError(int osError, const std::string& fileName);

protected:
    std::string Message() const override;
};

// Thrown by pointer, like every framework exception.
[[noreturn]] void ThrowMemoryException();

}  // namespace plat
