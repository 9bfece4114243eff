#include "ReplacingFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "Exception.h"
#include "TempBeside.h"

namespace plat {

ReplacingFile::ReplacingFile(const std::string& path) : m_path(path)
{
    const int error = CreateTempBeside(path, m_temp, [this](const std::string& name) {
        int e = 0;
        return m_file.Open(name.c_str(), File::modeReadWrite | File::modeCreateNew, &e) ? 0 : e;
    });
    if (error != 0)
        FileException::ThrowOsError(error, path);
}

ReplacingFile::~ReplacingFile()
{
    if (m_committed || m_temp.empty())
        return;
    try {
        m_file.Close();
    } catch (Exception* e) {
        e->Delete();
    }
    ::unlink(m_temp.c_str());
}

void ReplacingFile::Commit()
{
    m_file.Close();
    if (std::rename(m_temp.c_str(), m_path.c_str()) != 0)
        FileException::ThrowOsError(errno, m_path);
    m_committed = true;
}

}  // namespace plat
