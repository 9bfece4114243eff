#pragma once
// A fresh file beside a path, written there and later renamed onto it. The name is
// hidden, so folder listings and file masks never offer a half-written file.

#include <functional>
#include <string>

namespace plat {

// Calls create(name) with fresh names in path's folder until it returns anything
// but EEXIST; create answers 0 on success or an errno value. On success temp holds
// the name; returns create's last answer.
int CreateTempBeside(const std::string& path, std::string& temp,
                     const std::function<int(const std::string& name)>& create);

}  // namespace plat
