// TFormSelOneMeas: picks one measurement out of the project tree, with a measurement query the
// caller may replace; the tree loads one level ahead as it is opened and shows each
// measurement's start and sample beside its name. OK is enabled exactly while a measurement node
// is selected, and the box below the tree describes it.
#pragma once

#include <QDialog>
#include <memory>

#include "quantora/dblayer/TQuery.h"
#include "quantora/dialogs/ProjectTree.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

class TFormSelOneMeas : public QDialog {
    Q_OBJECT
  public:
    explicit TFormSelOneMeas(QWidget* owner = nullptr);
    ~TFormSelOneMeas() override;

    AnsiString DbName;
    // When not empty, the SQL text of MeasQ: one integer parameter for the project key, the
    // columns MEASUREMENT_ID and NAME.
    AnsiString MeasSQL;
    int StartProjectID = -1;
    // The selected measurement node, -1 and empty when none.
    int CurrentMeasID = -1;
    AnsiString CurrentMeasName;
    // The result, set from CurrentMeasID by OK.
    int SelectedMeasID = 0;

    TQuery RootProjQ, ProjQ, MeasQ;

    QLabel* AvailableHeader;
    QTreeWidget* AvailableTree;
    QSplitter* Splitter;
    QGroupBox* SelectedGroupBox;
    QLabel* SelectionLabel;
    QPushButton* OKButton;
    QPushButton* CancelButton;

    void ShowAll();
    void RetrieveChildren(QTreeWidgetItem* node);

    // The handlers; failures end in a message.
    void FormShow();
    void AvailableTreeChange(QTreeWidgetItem* node);
    void OKButtonClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    std::unique_ptr<quantora::dialogs::ProjectTree> tree_;
};
