#pragma once
// The one way tests change the environment the code under test reads: TZ,
// TMPDIR, XDG_CONFIG_HOME. A ScopedEnv sets (or unsets) a variable for its
// lifetime and then restores the earlier value, or its absence; a change of
// TZ is followed by tzset(), both ways, so the C library's zone follows.

#include <optional>
#include <string>

namespace qb::test {

class ScopedEnv {
public:
    // value nullopt: the variable is unset for the scope.
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    static void Apply(const std::string& name, const std::optional<std::string>& value);

    std::string name_;
    std::optional<std::string> saved_;
};

}  // namespace qb::test
