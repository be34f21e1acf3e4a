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

TEST_F(SourceSelectionTest, RemovedSourceGoesToTheEndAndOkHandsBackRecordsByKey) {
    quantora::SourceSet chosen;
    std::set<int> excluded = {4, 9};
    TFormSourceSelection form;
    form.SelectedSources = &chosen;
    form.ExcludedSourceIDs = &excluded;
    Show(form);
    EXPECT_EQ(Texts(form.AvailableTree), QStringList({"Src1", "Src2", "Src3"}));  // by key
    Move(form.AvailableTree, 2, form.AddButton);                                  // Src3
    Move(form.AvailableTree, 0, form.AddButton);                                  // Src1
    // A double-click on the available list adds (Src2).
    QWidget* viewport = form.AvailableTree->viewport();
    const QPoint at =
        form.AvailableTree->visualItemRect(form.AvailableTree->topLevelItem(0)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    EXPECT_EQ(Texts(form.SelectedTree), QStringList({"Src3", "Src1", "Src2"}));
    EXPECT_TRUE(Texts(form.AvailableTree).isEmpty());

    Move(form.SelectedTree, 0, form.RemoveButton);  // Src3 back, at the end
    Move(form.SelectedTree, 0, form.RemoveButton);  // Src1
    EXPECT_EQ(Texts(form.AvailableTree), QStringList({"Src3", "Src1"}));
    EXPECT_EQ(NodeKey(form.AvailableTree->topLevelItem(1)), 1);
    form.OKButton->click();
    EXPECT_EQ(Keys(chosen), std::vector<int>({2}));
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
}
