#include "files/FileNames.h"

#include <dirent.h>
#include <sys/stat.h>

namespace {

// '*' matches any run of characters, '?' any one; nothing else is special.
bool Match(const char* pattern, const char* name)
{
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

}  // namespace

int IsFileExist(const char* name)
{
    if (name == nullptr || *name == '\0')
        return 0;
    const std::string path = name;
    const size_t slash = path.rfind('/');
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    if (leaf.find_first_of("*?") == std::string::npos) {
        struct stat st {};
        return stat(name, &st) == 0 ? 1 : 0;
    }
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return 0;
    int found = 0;
    while (dirent* e = readdir(dir)) {
        const std::string entry = e->d_name;
        if (entry != "." && entry != ".." && Match(leaf.c_str(), entry.c_str())) {
            found = 1;
            break;
        }
    }
    closedir(dir);
    return found;
}

std::string GetFileNameWOExt(const std::string& path)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return path;
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && dot < slash)
        return path;
    return path.substr(0, dot);
}
