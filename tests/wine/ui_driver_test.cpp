// The UI driver itself: it must answer and record message boxes opened on the
// test's thread, or every UI test built on it hangs.
#include "ui_driver.h"

#include <gtest/gtest.h>

using testing_support::UiDriver;

namespace {

TEST(UiDriverTest, AnswersMessageBoxesInOrderAndRecordsThem) {
    UiDriver driver;
    driver.Expect("First", UiDriver::Press(IDOK));
    driver.Expect("Second", UiDriver::Press(IDNO));
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "one", "First", MB_OK));
    EXPECT_EQ(IDNO, MessageBoxA(nullptr, "two", "Second", MB_YESNO));
    ASSERT_EQ(2u, driver.seen.size());
    EXPECT_EQ("First", driver.seen[0].caption);
    EXPECT_NE(std::string::npos, driver.seen[0].text.find("one"));
    EXPECT_EQ("two", driver.seen[1].text.substr(driver.seen[1].text.find("two")));
    EXPECT_EQ(0u, driver.Pending());
    EXPECT_TRUE(driver.unexpected.empty());
}

TEST(UiDriverTest, CancelsAndReportsWhatNobodyExpected) {
    UiDriver driver;
    EXPECT_EQ(IDCANCEL, MessageBoxA(nullptr, "surprise", "Nobody", MB_OKCANCEL));
    ASSERT_EQ(1u, driver.unexpected.size());
    EXPECT_EQ("Nobody", driver.unexpected[0].caption);
}

} // namespace
