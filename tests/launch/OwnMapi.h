#pragma once
// A MAPI of the test's own: profiles and temporary files in the test's
// folder, message stores in memory. Undone by EndOwnMapi.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "outlook/mapi/MapiApi.h"
#include "outlook/mapi/memory/MemoryStore.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace qb::test {

struct OwnMapiEnv {
    std::optional<ScopedEnv> configHome;
    std::optional<ScopedEnv> tmpDir;
};

inline void StartOwnMapi(const TempDir& dir, OwnMapiEnv& env) {
    env.configHome.emplace("XDG_CONFIG_HOME", dir.path());
    env.tmpDir.emplace("TMPDIR", dir.path());
    mapi::SetMsgStoreProvider(std::make_shared<mapi::MemoryStoreProvider>());
    MAPIINIT_0 init{MAPI_INIT_VERSION, MAPI_MULTITHREAD_NOTIFICATIONS};
    ASSERT_EQ(MAPIInitialize(&init), S_OK);
}

inline void EndOwnMapi(OwnMapiEnv& env) {
    MAPIUninitialize();
    mapi::SetMsgStoreProvider(nullptr);
    // The folder goes with the test: later tests of this process must not use it.
    env.tmpDir.reset();
    env.configHome.reset();
}

}  // namespace qb::test
