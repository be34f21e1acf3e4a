// The source selection dialog: the flat list, exclusion, moving sources, OK and Cancel.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "quantora/dialogs/Sourceselectionform.h"
#include "tests/dialogs/SelectionTestSupport.h"

using dialogtest::Texts;
using quantora::dialogs::NodeKey;

namespace {

class SourceSelectionTest : public dialogtest::SelectionTest {
  protected:
    void Move(QTreeWidget* tree, int row, QPushButton* button) {
        tree->setCurrentItem(tree->topLevelItem(row));
        button->click();
    }
};

std::vector<int> Keys(const quantora::SourceSet& records) {
    std::vector<int> keys;
    for (const SOURCEData& s : records) keys.push_back(s.SOURCE_ID);
    return keys;
}

}  // namespace

TEST_F(SourceSelectionTest, ListsSourcesByKeyWithoutTheExcluded) {
    std::set<int> excluded = {2, 9};
    TFormSourceSelection some;
    some.ExcludedSourceIDs = &excluded;
    Show(some);
    EXPECT_EQ(Texts(some.AvailableTree), QStringList({"Src1", "Src3", "Src4"}));
    EXPECT_EQ(some.AvailableTree->currentItem(), some.AvailableTree->topLevelItem(0));
}

TEST_F(SourceSelectionTest, RemovedSourceGoesToTheEndAndOkHandsBackRecordsByKey) {
    quantora::SourceSet chosen;
    TFormSourceSelection form;
    form.SelectedSources = &chosen;
    Show(form);
    Move(form.AvailableTree, 2, form.AddButton);  // Src3
    Move(form.AvailableTree, 0, form.AddButton);  // Src1
    // A double-click on the available list adds (Src2).
    QWidget* viewport = form.AvailableTree->viewport();
    const QPoint at =
        form.AvailableTree->visualItemRect(form.AvailableTree->topLevelItem(0)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    EXPECT_EQ(Texts(form.SelectedTree), QStringList({"Src3", "Src1", "Src2"}));
    EXPECT_EQ(Texts(form.AvailableTree), QStringList({"Src4"}));

    Move(form.SelectedTree, 1, form.RemoveButton);  // Src1 back, at the end
    EXPECT_EQ(Texts(form.AvailableTree), QStringList({"Src4", "Src1"}));
    EXPECT_EQ(NodeKey(form.AvailableTree->topLevelItem(1)), 1);
    form.OKButton->click();
    EXPECT_EQ(Keys(chosen), std::vector<int>({2, 3}));
    EXPECT_EQ(chosen.begin()->OWNER, "Owner 2");
}

TEST_F(SourceSelectionTest, EdgeCases) {
    // Cancel: the ids go, the caller's set stays as it was.
    quantora::SourceSet chosen;
    SOURCEData earlier;
    earlier.SOURCE_ID = 77;
    chosen.insert(earlier);
    TFormSourceSelection cancelled;
    cancelled.SelectedSources = &chosen;
    Show(cancelled);
    cancelled.RemoveButton->click();  // nothing selected: the buttons do nothing
    cancelled.AvailableTree->setCurrentItem(nullptr);
    cancelled.AddButton->click();
    EXPECT_EQ(cancelled.SelectedTree->topLevelItemCount(), 0);
    Move(cancelled.AvailableTree, 0, cancelled.AddButton);
    cancelled.reject();
    EXPECT_TRUE(cancelled.SelectedSourceIDs.empty());
    EXPECT_EQ(Keys(chosen), std::vector<int>({77}));

    // No database alias: a message, and nothing shown.
    TFormSourceSelection unnamed;
    unnamed.show();
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0], "ERROR: database name not specified");
    EXPECT_EQ(unnamed.AvailableTree->topLevelItemCount(), 0);

    // A failing read keeps what the dialog had.
    TFormSourceSelection failing;
    Show(failing);
    lab.db.Exec("DROP TABLE SOURCE");
    failing.FormShow();
    EXPECT_EQ(capture.messages.size(), 2u);
    EXPECT_EQ(failing.AvailableTree->topLevelItemCount(), 4);
}
