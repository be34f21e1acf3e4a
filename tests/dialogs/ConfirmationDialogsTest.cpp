// The lister and the deletion-problem solver, and the date-time controls.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include "quantora/base/DateTime.h"
#include "quantora/dialogs/DateEdits.h"
#include "quantora/dialogs/Deletionproblemsolverform.h"
#include "quantora/dialogs/DialogHooks.h"
#include "quantora/dialogs/Listerform.h"
#include "quantora/frame/DeletionInfo.h"
#include "quantora/frame/UiHooks.h"

TEST(Lister, ModesShowTheirButtonsAndEscapeCancels) {
    TFormLister error;
    error.DisplayMode = 1;
    error.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&error));
    EXPECT_EQ(error.windowTitle(), "Error");
    EXPECT_TRUE(error.ClosePanel->isVisible() && error.ErrImage->isVisible());
    EXPECT_FALSE(error.OkPanel->isVisible() || error.ConfirmImage->isVisible());
    error.setResult(QDialog::Accepted);
    error.BitBtn1->click();  // "Close"
    EXPECT_EQ(error.result(), QDialog::Rejected);
    EXPECT_FALSE(error.isVisible());

    TFormLister confirm;
    confirm.ItemListBox->addItems({"one", "two"});
    QTimer::singleShot(0, [&] { QTest::keyClick(&confirm, Qt::Key_Escape); });
    EXPECT_EQ(confirm.exec(), QDialog::Rejected);
    EXPECT_EQ(confirm.windowTitle(), "Confirm");
    EXPECT_TRUE(confirm.OkPanel->isVisibleTo(&confirm));
    EXPECT_FALSE(confirm.ClosePanel->isVisibleTo(&confirm));
    QTimer::singleShot(0, [&] { confirm.OkButton->click(); });
    EXPECT_EQ(confirm.exec(), QDialog::Accepted);
}

TEST(DeletionProblemSolver, GridStatesPagesAndOk) {
    DbObjectDeletionInfo info;
    info.Problems = {{Solved, "first"}, {Solved, "second"}};
    TFormDeletionProblemSolver form;
    form.DeletionInfo = &info;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTableWidget* grid = form.findChild<QTableWidget*>("ProblemGrid");
    auto* notebook = form.findChild<QStackedWidget*>("SolverNotebook");
    ASSERT_TRUE(grid && notebook);
    EXPECT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(grid->item(2, 0)->text() + grid->item(2, 1)->text() + grid->item(2, 2)->text(),
              "2Solvedsecond");
    EXPECT_TRUE(form.OkButton->isEnabled());
    EXPECT_EQ(notebook->currentIndex(), TFormDeletionProblemSolver::SolvedPage);

    info.Problems.push_back({Resolvable, "a link"});
    info.Problems.push_back({static_cast<DeletionProblemState>(7), "odd"});
    info.Problems.push_back({NotResolvable, "blocked"});
    form.RefreshGrid();
    EXPECT_FALSE(form.OkButton->isEnabled());
    EXPECT_EQ(form.UnresolvedCount, 2);  // the unknown state does not count
    EXPECT_EQ(grid->item(4, 1)->text(), "<unknown>");
    bool can = false;
    form.ProblemGridSelectCell(grid, 1, 3, can);
    EXPECT_TRUE(can);
    EXPECT_EQ(notebook->currentIndex(), TFormDeletionProblemSolver::SolvablePage);
    grid->setCurrentCell(5, 2);  // clicking a row shows its page
    EXPECT_EQ(notebook->currentIndex(), TFormDeletionProblemSolver::NotSolvablePage);
    form.ProblemGridSelectCell(grid, 1, 99, can);
    EXPECT_EQ(notebook->currentIndex(), TFormDeletionProblemSolver::UnknownPage);
}

TEST(DeletionProblemSolver, InstalledHooksShowTheSolverFromDelete) {
    InstallDialogHooks();
    DbObjectDeletionInfo info;
    info.Problems = {{Solved, "done"}};
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<TFormDeletionProblemSolver*>(w)) f->OkButton->click();
    });
    EXPECT_TRUE(info.Delete(false));
    info.Problems.push_back({NotResolvable, "blocked"});
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<TFormDeletionProblemSolver*>(w)) {
                EXPECT_FALSE(f->OkButton->isEnabled());
                f->CancelButton->click();
            }
    });
    EXPECT_FALSE(info.Delete(false));
    quantora::InstallUiHooks({});
}

TEST(DateEdits, RoundTripToTheMillisecond) {
    QDateEdit date;
    QTimeEdit time;
    QLineEdit millis;
    // 12.25 s after midnight.
    TDateTime value = quantora::EncodeDateTime({2024, 2, 29, 0, 0, 12, 250000});
    DateTime2Edits(value, &date, &time, &millis);
    EXPECT_EQ(date.date(), QDate(2024, 2, 29));
    EXPECT_EQ(time.time(), QTime(0, 0, 12));
    EXPECT_EQ(millis.text(), "250");
    EXPECT_NEAR(Edits2DateTime(&date, &time, &millis), value, 1e-9);

    DateTime2Edits(quantora::EncodeDateTime({2024, 3, 1, 23, 59, 59, 999600}), &date, &time,
                   &millis);
    EXPECT_EQ(date.date(), QDate(2024, 3, 2));  // rounded up to the next day
    EXPECT_EQ(millis.text(), "000");

    millis.setText("abc");  // unreadable milliseconds count as none
    EXPECT_NEAR(Edits2DateTime(&date, &time, &millis), Edits2DateTime(&date, &time, nullptr),
                1e-12);
}
