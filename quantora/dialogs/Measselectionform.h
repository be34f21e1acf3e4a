// TFormMeasSelection: picks any number of measurements out of the project tree. The available
// tree offers projects, sub-projects and measurements, loaded one level ahead; measurements
// move into the selected tree and back; OK hands the chosen records to the caller.
#pragma once

#include <QDialog>
#include <memory>
#include <set>

#include "quantora/dblayer/TQuery.h"
#include "quantora/dialogs/ProjectTree.h"
#include "quantora/records/Meastables.h"

class QLabel;
class QPushButton;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

class TFormMeasSelection : public QDialog {
    Q_OBJECT
  public:
    explicit TFormMeasSelection(QWidget* owner = nullptr);
    ~TFormMeasSelection() override;

    // Set by the caller before showing.
    AnsiString DbName;
    int StartProjectID = -1;
    std::set<int>* ExcludedMeasIDs = nullptr;
    std::set<MEASUREMENTData>* SelectedMeas = nullptr;

    // Every measurement read so far (the first record read of an id stays).
    std::set<MEASUREMENTData> RetrievedMeas;
    // The keys of the measurements in the selected tree.
    std::set<int> SelectedMeasIDs;

    TQuery RootProjQ, ProjQ, MeasQ;

    QLabel* AvailableHeader;
    QTreeWidget* AvailableTree;
    QPushButton* AvailPropertiesButton;
    QPushButton* AddButton;
    QPushButton* RemoveButton;
    QSplitter* Splitter;
    QLabel* SelectedHeader;
    QTreeWidget* SelectedTree;
    QPushButton* SelPropertiesButton;
    QPushButton* OKButton;
    QPushButton* CancelButton;

    // Rebuilds the available tree; the selected tree stays.
    void ShowAll();
    // (Re)loads the children of one project node of the available tree.
    void RetrieveChildren(QTreeWidgetItem* node);
    static QTreeWidgetItem* SearchRetrievedProject(QTreeWidgetItem* node, int projectId);

    // The handlers; database failures end in a message, never in an exception.
    void FormShow();
    void AddButtonClick();
    void RemoveButtonClick();
    void OKButtonClick();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

  private:
    void LoadMeasurements(const QTreeWidgetItem& node, quantora::dialogs::NodeList& out);
    void Add();
    void Remove();

    std::unique_ptr<quantora::dialogs::ProjectTree> tree_;
};
