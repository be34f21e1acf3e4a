// TFormSelectMeas: picks one measurement out of the project tree, optionally only the
// measurements of object type 1 taken with a given ADC. The tree loads the top-level projects,
// their direct children and the projects on the start path; it does not load on expansion.
// Measurements show their start and sample beside their names.
#pragma once

#include <QDialog>
#include <memory>

#include "quantora/dblayer/TQuery.h"
#include "quantora/dialogs/ProjectTree.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TFormSelectMeas : public QDialog {
    Q_OBJECT
  public:
    explicit TFormSelectMeas(QWidget* owner = nullptr);
    ~TFormSelectMeas() override;

    AnsiString DbName;
    int StartProjectID = -1;
    bool FilterByADC = false;
    int ADCID = 0;
    // The result: the chosen MEASUREMENT_ID.
    int SelectedMeasID = -1;

    TQuery RootProjQ, ProjQ, MeasQ;

    QLabel* AvailableHeader;
    QTreeWidget* AvailableTree;
    QPushButton* OKButton;
    QPushButton* CancelButton;

    void ShowAll();
    void RetrieveChildren(QTreeWidgetItem* node);

    // The show handler; failures end in a message.
    void FormShow();

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    void LoadMeasurements(const QTreeWidgetItem& node, quantora::dialogs::NodeList& out);

    std::unique_ptr<quantora::dialogs::ProjectTree> tree_;
};
