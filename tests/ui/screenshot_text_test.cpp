// Each picture in docs/screenshots/ has beside it the text the dialog showed
// when it was taken. When a dialog's text changes, this fails until the
// pictures are taken again (scripts/screenshots.sh writes both).
#include "ui_test_support.h"

#include "host/plugin.h"
#include "ui/resource.h"

#include "screenshot_scenes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

using testing_support::UiDriver;

namespace {

std::string ReadFile(const std::string& path) {
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            text.append(buffer, got);
        std::fclose(file);
    }
    return text;
}

class ScreenshotTextTest : public ui_test::UiTest {};

TEST_F(ScreenshotTextTest, EveryPictureShowsTheDialogAsItIsNow) {
    for (const screenshots::Scene& scene : screenshots::Scenes()) {
        SCOPED_TRACE(scene.name);
        screenshots::PrepareScene(scene);
        std::string shown;
        std::function<void(HWND)> read = [&](HWND dialog) {
            // A report shows its text once its check has ended.
            if (IsWindowEnabled(GetDlgItem(dialog, IDC_STOP_CHECK))) {
                driver.Later([&, dialog] { read(dialog); });
                return;
            }
            shown = screenshots::ShownText(dialog);
            UiDriver::Click(dialog, IDCANCEL);
        };
        driver.Expect(scene.caption, read);
        DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(scene.templateId), nullptr, scene.procedure,
                        scene.parameter);
        const std::string picture = std::string("docs/screenshots/") + scene.name;
        const std::string pictured =
            ReadFile(std::string(SONABELL_SCREENSHOTS_DIR) + "\\" + scene.name + ".txt");
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(pictured, shown)
            << picture << ".png shows another text than the dialog does now; take the pictures "
            << "again with scripts/screenshots.sh (it rewrites " << picture << ".txt too)";
    }
}

} // namespace
