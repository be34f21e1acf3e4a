// The single measurement and energy calibration pickers.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "quantora/base/DateTime.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dialogs/Ecalselectionform.h"
#include "quantora/dialogs/Onemeasselform.h"
#include "quantora/dialogs/Selonemeasform.h"
#include "tests/dialogs/SelectionTestSupport.h"

using dialogtest::At;
using dialogtest::Texts;

using PickersTest = dialogtest::SelectionTest;

TEST_F(PickersTest, SelectMeasFiltersByAdcAndKeepsTheResultForMeasurements) {
    lab.db.Exec(
        "INSERT INTO MEASSETUP (MEASSETUP_ID, ADC_ID, NAME) VALUES (1, 5, 'a'), (2, 6, 'b')");
    lab.AddMeasurement(13, 1, 1, 1);
    lab.AddMeasurement(14, 1, 1, 2);  // a sample measurement on the same ADC
    lab.AddMeasurement(15, 1, 2, 1);  // another ADC
    lab.AddMeasurement(22, 2, 1, 1);

    TFormSelectMeas all;
    Show(all);
    EXPECT_EQ(Texts(all.AvailableTree, At(all.AvailableTree, {"Root A"})),
              QStringList({"Level 1", "Sibling", "M10", "M11", "M12", "M13", "M14", "M15"}));

    TFormSelectMeas filtered;
    filtered.FilterByADC = true;
    filtered.ADCID = 5;
    filtered.StartProjectID = 2;
    Show(filtered);
    EXPECT_EQ(Texts(filtered.AvailableTree, At(filtered.AvailableTree, {"Root A"})),
              QStringList({"Level 1", "Sibling", "M13"}));
    EXPECT_EQ(Texts(filtered.AvailableTree, At(filtered.AvailableTree, {"Root A", "Level 1"})),
              QStringList({"Level 2", "M22"}));

    // OK on a project keeps -1; on a measurement takes its key.
    EXPECT_EQ(filtered.AvailableTree->currentItem()->text(0), "Level 2");
    filtered.OKButton->click();
    EXPECT_EQ(filtered.SelectedMeasID, -1);
    all.AvailableTree->setCurrentItem(At(all.AvailableTree, {"Root A", "M12"}));
    all.OKButton->click();
    EXPECT_EQ(all.SelectedMeasID, 12);
}

TEST_F(PickersTest, ECalSelectionEnablesOkOnlyOnCalibrations) {
    lab.AddECal(500, 100, "first fit", 1.5);
    lab.AddECal(501, 100, "excluded fit", 2.5);
    lab.AddECal(502, 100, "second fit", 3.5);
    std::set<int> excluded = {501};
    TFormECalSelection form;
    form.ExcludedECalIDs = &excluded;
    Show(form);
    QTreeWidget* tree = form.AvailableTree;
    EXPECT_FALSE(form.OKButton->isEnabled());
    QTreeWidgetItem* rootA = At(tree, {"Root A"});
    rootA->setExpanded(true);
    // Measurements get their spectra one level ahead.
    EXPECT_EQ(Texts(tree, At(tree, {"Root A", "M10"})), QStringList({"S10a", "S10b"}));
    At(tree, {"Root A", "M10"})->setExpanded(true);
    QTreeWidgetItem* spectrum = At(tree, {"Root A", "M10", "S10a"});
    EXPECT_EQ(Texts(tree, spectrum), QStringList({"first fit", "second fit"}));

    tree->setCurrentItem(spectrum->child(1));
    EXPECT_EQ(form.SelectedECalID, 502);
    EXPECT_TRUE(form.OKButton->isEnabled());
    tree->setCurrentItem(spectrum);
    EXPECT_EQ(form.SelectedECalID, -1);
    EXPECT_FALSE(form.OKButton->isEnabled());

    tree->setCurrentItem(spectrum->child(0));
    form.OKButton->click();
    EXPECT_EQ(form.SelectedECal.ECAL_ID, 500);
    EXPECT_DOUBLE_EQ(form.SelectedECal.PARAMA, 1.5);

    // Cancel after choosing: no key, a reset record.
    tree->setCurrentItem(spectrum->child(1));
    form.CancelButton->click();
    EXPECT_EQ(form.SelectedECalID, -1);
    EXPECT_EQ(form.SelectedECal.ECAL_ID, ECALData().ECAL_ID);
}

TEST_F(PickersTest, SelOneMeasTracksTheCurrentMeasurement) {
    TFormSelOneMeas form;
    form.StartProjectID = 2;
    Show(form);
    QTreeWidget* tree = form.AvailableTree;
    // The start project's first child is selected: a project, so no measurement yet.
    EXPECT_EQ(tree->currentItem(), At(tree, {"Root A", "Level 1", "Level 2"}));
    EXPECT_EQ(form.CurrentMeasID, -1);
    EXPECT_FALSE(form.OKButton->isEnabled());
    tree->setCurrentItem(At(tree, {"Root A", "Level 1", "M21"}));
    EXPECT_EQ(form.CurrentMeasID, 21);
    EXPECT_TRUE(form.OKButton->isEnabled());
    tree->setCurrentItem(At(tree, {"Root A", "M11"}));
    form.OKButton->click();
    EXPECT_EQ(form.SelectedMeasID, 11);
    // A root project (key 1) as the start: its first child.
    TFormSelOneMeas fromRoot;
    fromRoot.StartProjectID = 1;
    Show(fromRoot);
    EXPECT_EQ(fromRoot.AvailableTree->currentItem(),
              At(fromRoot.AvailableTree, {"Root A", "Level 1"}));

    // A caller's measurement query picks what is offered; Cancel leaves the result alone.
    TFormSelOneMeas custom;
    custom.MeasSQL =
        "select MEASUREMENT_ID, NAME from measurement where PROJECT_ID = :P and "
        "CMT <> 'comment 11'";
    Show(custom);
    EXPECT_EQ(Texts(custom.AvailableTree, At(custom.AvailableTree, {"Root A"})),
              QStringList({"Level 1", "Sibling", "M10", "M12"}));
    custom.CancelButton->click();
    EXPECT_EQ(custom.SelectedMeasID, 0);
}

// Each picker says what it picks; measurements show their start and sample beside their names,
// and the box under a tree describes the current choice.
TEST_F(PickersTest, PickersNameWhatTheyPickAndDescribeIt) {
    lab.db.Exec("INSERT INTO SAMPLE (SAMPLE_ID, NAME) VALUES (7, 'Soil 4')");
    TQuery q;
    q.SetDatabaseName(lab.db.alias());
    q.SetSQL("UPDATE MEASUREMENT SET STARTDATE = :d, SAMPLE_ID = 7 WHERE MEASUREMENT_ID = 10");
    q.ParamByName("d")->SetAsDateTime(quantora::EncodeDateTime({2024, 3, 1, 12, 30, 0, 0}));
    q.ExecSQL();
    lab.AddECal(500, 100, "first fit", 1.5);
    const QStringList m10 = {"M10", "2024-03-01 12:30", "Soil 4"};
    auto row = [](QTreeWidgetItem* node) {
        QStringList out;
        for (int c = 0; c < 3; ++c) out << (node ? node->text(c) : QString());
        return out;
    };

    TFormSelOneMeas one;
    Show(one);
    EXPECT_EQ(one.windowTitle(), "Select a measurement");
    EXPECT_TRUE(one.AvailableHeader->text().contains("measurements"));
    EXPECT_EQ(one.SelectedGroupBox->title(), "Selected measurement");
    EXPECT_EQ(row(At(one.AvailableTree, {"Root A", "M10"})), m10);
    EXPECT_EQ(row(At(one.AvailableTree, {"Root A", "M11"})), QStringList({"M11", "", ""}));
    one.AvailableTree->setCurrentItem(At(one.AvailableTree, {"Root A", "M10"}));
    EXPECT_EQ(one.SelectionLabel->text(), "M10, started 2024-03-01 12:30, sample Soil 4");
    one.AvailableTree->setCurrentItem(At(one.AvailableTree, {"Root A"}));
    EXPECT_EQ(one.SelectionLabel->text(), "");

    TFormSelectMeas adc;
    Show(adc);
    EXPECT_NE(adc.windowTitle(), one.windowTitle());
    EXPECT_EQ(row(At(adc.AvailableTree, {"Root A", "M10"})), m10);

    TFormECalSelection ecal;
    Show(ecal);
    EXPECT_EQ(ecal.windowTitle(), "Select an energy calibration");
    QTreeWidget* tree = ecal.AvailableTree;
    At(tree, {"Root A"})->setExpanded(true);
    EXPECT_EQ(row(At(tree, {"Root A", "M10"})), m10);
    At(tree, {"Root A", "M10"})->setExpanded(true);
    tree->setCurrentItem(At(tree, {"Root A", "M10", "S10a", "first fit"}));
    EXPECT_EQ(ecal.SelectionLabel->text(), "first fit: E = 1.5 + 0.5 \u00b7 channel keV");
    tree->setCurrentItem(At(tree, {"Root A", "M10", "S10a"}));
    EXPECT_EQ(ecal.SelectionLabel->text(), "");
}
