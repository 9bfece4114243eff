#pragma once
// A fresh private folder that an environment variable points at for the object's
// life (XDG_CONFIG_HOME, XDG_RUNTIME_DIR); the variable and the folder's absence are
// restored afterwards.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include <stdlib.h>

class ScopedEnvFolder final {
public:
    explicit ScopedEnvFolder(const char* variable) : m_variable(variable)
    {
        if (const char* old = std::getenv(variable))
            m_old = old;
        std::string templ = (std::filesystem::temp_directory_path() / "suite-env-XXXXXX").string();
        if (mkdtemp(templ.data()) != nullptr)
            m_path = templ;
        setenv(variable, m_path.c_str(), 1);
    }
    ~ScopedEnvFolder()
    {
        if (m_old)
            setenv(m_variable.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_variable.c_str());
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    ScopedEnvFolder(const ScopedEnvFolder&) = delete;
    ScopedEnvFolder& operator=(const ScopedEnvFolder&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_variable;
    std::optional<std::string> m_old;
    std::string m_path;
};
