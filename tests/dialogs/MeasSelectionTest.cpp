// The measurement selection dialog on a filled database: moving measurements, OK and Cancel, and
// database failures inside handlers (which also show that closed nodes hold no children yet).
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "quantora/dialogs/Icons.h"
#include "quantora/dialogs/Measselectionform.h"
#include "tests/dialogs/SelectionTestSupport.h"

using dialogtest::At;
using dialogtest::Texts;

namespace {

class MeasSelectionTest : public dialogtest::SelectionTest {
  protected:
    void Show() {
        form.ExcludedMeasIDs = &excluded;
        SelectionTest::Show(form);
    }
    QTreeWidget* Avail() { return form.AvailableTree; }
    QTreeWidget* Selected() { return form.SelectedTree; }
    // Makes the node the current one of its tree and presses the space bar there.
    void Space(QTreeWidget* tree, QTreeWidgetItem* node) {
        tree->setCurrentItem(node);
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Space);
    }

    std::set<int> excluded;
    TFormMeasSelection form;
};

std::vector<int> Keys(const std::set<MEASUREMENTData>& records) {
    std::vector<int> keys;
    for (const MEASUREMENTData& m : records) keys.push_back(m.MEASUREMENT_ID);
    return keys;
}

}  // namespace

// Excluded and selected measurements are never offered, also after a rebuild or a reload.
TEST_F(MeasSelectionTest, AddAndRemoveMoveOneMeasurement) {
    excluded = {11, 21};
    Show();
    QTreeWidgetItem* rootA = At(Avail(), {"Root A"});
    EXPECT_EQ(Texts(Avail(), rootA), QStringList({"Level 1", "Sibling", "M10", "M12"}));
    Space(Avail(), At(Avail(), {"Root A", "Level 1"}));  // a project never moves
    Space(Avail(), At(Avail(), {"Root A", "M10"}));
    form.AvailableTree->setCurrentItem(At(Avail(), {"Root A", "M12"}));
    form.AddButton->click();
    EXPECT_EQ(Texts(Selected()), QStringList({"M10", "M12"}));
    EXPECT_EQ(Texts(Avail(), rootA), QStringList({"Level 1", "Sibling"}));

    // Back as the last child of its project.
    Space(Selected(), Selected()->topLevelItem(0));
    Selected()->setCurrentItem(Selected()->topLevelItem(0));
    form.RemoveButton->click();
    EXPECT_EQ(Texts(Avail(), rootA), QStringList({"Level 1", "Sibling", "M10", "M12"}));

    rootA->setExpanded(true);
    QTreeWidgetItem* level1 = At(Avail(), {"Root A", "Level 1"});
    EXPECT_EQ(Texts(Avail(), level1), QStringList({"Level 2", "M20"}));
    level1->setExpanded(true);
    Space(Avail(), At(Avail(), {"Root A", "Level 1", "M20"}));
    EXPECT_EQ(form.SelectedTree->topLevelItem(0)->toolTip(0), "Root A / Level 1");
    form.ShowAll();
    EXPECT_EQ(Texts(Avail(), At(Avail(), {"Root A"})),
              QStringList({"Level 1", "Sibling", "M10", "M12"}));
    EXPECT_EQ(Texts(Selected()), QStringList({"M20"}));
    // A project the tree does not hold is searched for to the end and not found.
    EXPECT_EQ(TFormMeasSelection::SearchRetrievedProject(At(Avail(), {"Root A"}), 999), nullptr);
}

TEST_F(MeasSelectionTest, OkHandsBackRecordsAndCancelEmptiesTheSelection) {
    std::set<MEASUREMENTData> chosen;
    MEASUREMENTData kept;
    kept.MEASUREMENT_ID = 12;
    kept.NAME = "already chosen";
    chosen.insert(kept);
    form.SelectedMeas = &chosen;
    Show();
    for (const char* name : {"M12", "M10", "M11"}) Space(Avail(), At(Avail(), {"Root A", name}));
    EXPECT_EQ(Texts(Selected()), QStringList({"M12", "M10", "M11"}));
    form.OKButton->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(Keys(chosen), std::vector<int>({10, 11, 12}));
    EXPECT_EQ(chosen.rbegin()->NAME, "already chosen");

    // Cancel: the ids go, the caller's set is untouched.
    std::set<MEASUREMENTData> untouched;
    TFormMeasSelection cancelled;
    cancelled.SelectedMeas = &untouched;
    SelectionTest::Show(cancelled);
    Space(cancelled.AvailableTree, At(cancelled.AvailableTree, {"Root A", "M10"}));
    ASSERT_EQ(cancelled.SelectedMeasIDs.size(), 1u);
    cancelled.CancelButton->click();
    EXPECT_TRUE(cancelled.SelectedMeasIDs.empty() && untouched.empty());
}

TEST_F(MeasSelectionTest, DatabaseFailuresLeaveTheTreeAndShowAMessage) {
    Show();
    ASSERT_TRUE(capture.messages.empty());
    QTreeWidgetItem* rootA = At(Avail(), {"Root A"});
    const QStringList before = Texts(Avail(), rootA);
    lab.db.Exec("DROP TABLE MEASUREMENT");

    rootA->setExpanded(true);  // the sub-projects' measurements cannot be read
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_NE(capture.messages[0].find("measurement"), AnsiString::npos) << capture.messages[0];
    EXPECT_FALSE(rootA->isExpanded());
    EXPECT_EQ(At(Avail(), {"Root A", "Level 1"})->childCount(), 0);

    form.FormShow();  // a rebuild that fails keeps the old tree
    EXPECT_EQ(capture.messages.size(), 2u);
    EXPECT_EQ(Texts(Avail(), At(Avail(), {"Root A"})), before);
}

// Every picture of the dialogs is drawn, and no two are alike.
TEST(DialogIcons, EverySymbolIsDrawnAndDistinct) {
    using quantora::dialogs::Symbol;
    std::vector<QImage> images;
    for (Symbol s :
         {Symbol::Project, Symbol::Measurement, Symbol::Spectrum, Symbol::EnergyCalibration,
          Symbol::Source, Symbol::Error, Symbol::Question, Symbol::Tick}) {
        const QImage img = quantora::dialogs::SymbolPixmap(s, 32).toImage();
        int inked = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) inked += qAlpha(img.pixel(x, y)) > 0;
        EXPECT_GT(inked, 32) << static_cast<int>(s);
        for (const QImage& other : images) EXPECT_NE(img, other) << static_cast<int>(s);
        images.push_back(img);
    }
    // The radiation sign is black on a yellow disc: yellow between its blades and its rim.
    EXPECT_EQ(images[4].pixel(16, 2), QColor(250, 210, 0).rgba());
}
