// Main windows for tests: each with the test's settings file, the conversion
// library of this build, and a ratio dialog that answers what the test says.
#pragma once

#include "app/velmora_m.h"
#include "tests/support/support.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace velmora {

class WindowTest : public SettingsFileTest {
  protected:
    // Hooks for a window of this test; add answers for the other dialogs.
    MainWindowHooks hooks() {
        MainWindowHooks h;
        h.settingsFile = settingsFile();
        h.libraryFolder = QStringLiteral(VELMORA_TEST_BIN);
        h.askRatio = [this](std::int16_t) { return nextScale; };
        return h;
    }
    // Sets the window's ratio through its ratio command, as a user would.
    void setScale(velmora_m& w, std::int16_t scale) {
        nextScale = scale;
        w.m_ritu_Click();
        nextScale.reset();
    }

    std::optional<std::int16_t> nextScale;
};

} // namespace velmora
