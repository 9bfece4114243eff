#pragma once
// Platform calls inside the engine: the platform's file exceptions become the
// library's error, naming the file.

#include <string>
#include <utility>

#include "platform/errors/Exception.h"

#include "engine3d/model/SClassLib.h"

template <class F>
void PlatformCall(F&& Call, const std::string& Path)
{
    try {
        std::forward<F>(Call)();
    } catch (plat::Exception* e) {
        int code = 0;
        if (auto* file = dynamic_cast<plat::FileException*>(e))
            code = file->m_lOsError;
        e->Delete();
        RaiseOSError(code, Path);
    }
}
