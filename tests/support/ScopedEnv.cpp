#include "ScopedEnv.h"

#include <cstdlib>
#include <ctime>
#include <utility>

namespace qb::test {

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) saved_ = old;
    Apply(name_, value);
}

ScopedEnv::~ScopedEnv() { Apply(name_, saved_); }

void ScopedEnv::Apply(const std::string& name, const std::optional<std::string>& value) {
    if (value) ::setenv(name.c_str(), value->c_str(), 1);
    else ::unsetenv(name.c_str());
    if (name == "TZ") ::tzset();
}

}  // namespace qb::test
