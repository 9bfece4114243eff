#include "EditNumbers.h"

#include <cstdio>
#include <limits>

bool ParseIntField(const std::string& text, int* value)
{
    long long v = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), " %lld %c", &v, &tail) != 1 || v < std::numeric_limits<int>::min() ||
        v > std::numeric_limits<int>::max())
        return false;
    *value = int(v);
    return true;
}
