// The fixture of the soundpack and diagnostics tests: no plug-in keys, an
// empty table and an empty error report before and after each test.
#ifndef SONABELL_TESTS_PACK_WORLD_H
#define SONABELL_TESTS_PACK_WORLD_H

#include "database/sound_table.h"
#include "soundpack/diagnostics.h"

#include "clean_state.h"

namespace testing_support {

class PackWorldTest : public CleanRegistryTest {
  protected:
    void SetUp() override {
        CleanRegistryTest::SetUp();
        ClearSoundTable();
        errorReport.clear();
    }
    void TearDown() override {
        ClearSoundTable();
        errorReport.clear();
        CleanRegistryTest::TearDown();
    }
};

} // namespace testing_support

#endif
