// The lister, the deletion-problem solver shown through the installed hooks, and the date-time
// controls.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
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
    QTimer::singleShot(0, [&] { QTest::keyClick(&confirm, Qt::Key_Escape); });
    EXPECT_EQ(confirm.exec(), QDialog::Rejected);
    EXPECT_TRUE(confirm.OkPanel->isVisibleTo(&confirm) &&
                !confirm.ClosePanel->isVisibleTo(&confirm));
}

TEST(DeletionProblemSolver, InstalledHooksShowTheSolverFromDelete) {
    InstallDialogHooks();
    DbObjectDeletionInfo info;
    info.Problems = {{Solved, "done"}};
    // OK where every problem is solved; with one that cannot be, only Cancel.
    for (bool solvable : {true, false}) {
        QTimer::singleShot(0, [solvable] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* f = qobject_cast<TFormDeletionProblemSolver*>(w)) {
                    EXPECT_EQ(f->OkButton->isEnabled(), solvable);
                    // The problem texts take the width a wider dialog gains.
                    f->resize(1200, f->height());
                    QApplication::processEvents();
                    const QTableWidget* grid = f->ProblemGrid;
                    // The first problem row is the current one.
                    EXPECT_EQ(std::pair(grid->currentRow(), grid->currentColumn()),
                              std::pair(1, 1));
                    EXPECT_EQ(grid->columnViewportPosition(2) + grid->columnWidth(2),
                              grid->viewport()->width());
                    (solvable ? f->OkButton : f->CancelButton)->click();
                }
        });
        EXPECT_EQ(info.Delete(false), solvable);
        info.Problems.push_back({NotResolvable, "blocked"});
    }
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
}
