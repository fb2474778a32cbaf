#pragma once

#include "app/settings/Preferences.h"

#include <gtest/gtest.h>

namespace tarvik::testing {

// Each test starts from empty preferences (the shared store lives in the
// run's temporary folder) and leaves none behind.
class PreferencesTest : public ::testing::Test {
  protected:
    void SetUp() override { Preferences::shared().clear(); }
    void TearDown() override { Preferences::shared().clear(); }
    QSettings& preferences() { return Preferences::shared(); }
};

} // namespace tarvik::testing
