// TFormDeletionProblemSolver: the problems of a DbObjectDeletionInfo in a grid, the selected
// problem explained below, OK only when nothing is left unresolved.
#pragma once

#include <QDialog>

class DbObjectDeletionInfo;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QToolButton;

class TFormDeletionProblemSolver : public QDialog {
    Q_OBJECT
  public:
    explicit TFormDeletionProblemSolver(QWidget* owner = nullptr);

    // Set by the owner before the dialog is shown; only read.
    DbObjectDeletionInfo* DeletionInfo = nullptr;
    int UnresolvedCount = 0;

    QLabel* HeaderLabel;
    QTableWidget* ProblemGrid;
    QStackedWidget* SolverNotebook;
    QComboBox* SolutionComboBox;
    QToolButton* SpeedButton1;
    QPushButton* OkButton;
    QPushButton* CancelButton;

    // Pages of SolverNotebook.
    enum Page { UnknownPage = 0, SolvedPage = 1, SolvablePage = 2, NotSolvablePage = 3 };

    void RefreshGrid();
    void FormShow();
    void ProblemGridSelectCell(QObject* sender, int col, int row, bool& canSelect);

  protected:
    void showEvent(QShowEvent* event) override;
};
