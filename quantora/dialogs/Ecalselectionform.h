// TFormECalSelection: picks one energy calibration, reached through project, measurement and
// spectrum; the tree loads one level ahead as it is opened and shows each measurement's start and
// sample beside its name. OK is enabled exactly while a calibration node is selected, and the box
// below the tree describes that calibration.
#pragma once

#include <QDialog>
#include <memory>
#include <set>

#include "quantora/calibration/Calibrtables.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dialogs/ProjectTree.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

class TFormECalSelection : public QDialog {
    Q_OBJECT
  public:
    explicit TFormECalSelection(QWidget* owner = nullptr);
    ~TFormECalSelection() override;

    AnsiString DbName;
    int StartProjectID = -1;
    // Given before a spectrum is opened.
    std::set<int>* ExcludedECalIDs = nullptr;
    // The key of the selected calibration node, -1 when none.
    int SelectedECalID = -1;
    // The result: the chosen calibration record.
    ECALData SelectedECal;

    // Every calibration read so far (the first record read of an id stays).
    std::set<ECALData> RetrievedECals;

    TQuery RootProjQ, ProjQ, MeasQ, SpeQ, ECalQ;

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
    void LoadDetails(const QTreeWidgetItem& node, quantora::dialogs::NodeList& out);
    void LoadCalibrations(int spectrumId, quantora::dialogs::NodeList& out);
    // The record read of calibration `ecalId`, null when none was.
    const ECALData* Retrieved(int ecalId) const;

    std::unique_ptr<quantora::dialogs::ProjectTree> tree_;
};
