// The headless export options panel: creation, the selection's clamping and release.
#include <gtest/gtest.h>

#include <climits>

#include "plugin/export_option_form.h"

namespace {

int parentStandIn;  // any non-null address stands for the host's window

TEST(PanelStandIn, NeedsAParent) {
  EXPECT_EQ(TExportOptionForm::Create(nullptr), nullptr);
}

TEST(PanelStandIn, StartsWithNothingSelectedAndNoWindow) {
  TExportOptionForm* form = TExportOptionForm::Create(&parentStandIn);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->SelectedIndex(), -1);
  EXPECT_EQ(form->Window(), nullptr);
  form->Release();
}

TEST(PanelStandIn, SelectionIsClampedToTheFourItems) {
  struct Case {
    int requested;
    int selected;
  };
  const Case cases[] = {{0, 0}, {1, 1},   {2, 2},   {3, 3},       {-1, -1},     {4, 3},
                        {7, 3}, {-2, -1}, {-5, -1}, {INT_MAX, 3}, {INT_MIN, -1}};
  TExportOptionForm* form = TExportOptionForm::Create(&parentStandIn);
  ASSERT_NE(form, nullptr);
  for (const Case& c : cases) {
    form->SetSelectedIndex(2);  // a set value is replaced, not kept, by an out-of-range one
    form->SetSelectedIndex(c.requested);
    EXPECT_EQ(form->SelectedIndex(), c.selected) << "requested " << c.requested;
  }
  form->Release();
}

TEST(PanelStandIn, ReleaseEndsOnlyThatPanel) {
  TExportOptionForm* first = TExportOptionForm::Create(&parentStandIn);
  TExportOptionForm* second = TExportOptionForm::Create(&parentStandIn);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(TExportOptionForm::IsAlive(first));
  EXPECT_TRUE(TExportOptionForm::IsAlive(second));

  first->Release();
  EXPECT_FALSE(TExportOptionForm::IsAlive(first));
  EXPECT_TRUE(TExportOptionForm::IsAlive(second));
  second->Release();
  EXPECT_FALSE(TExportOptionForm::IsAlive(second));
  EXPECT_FALSE(TExportOptionForm::IsAlive(nullptr));
}

}  // namespace
