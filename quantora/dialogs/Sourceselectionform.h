// TFormSourceSelection: picks any number of radioactive sources out of the SOURCE table, a flat
// list of available sources and a list of selected ones; OK hands the chosen records back.
#pragma once

#include <QDialog>
#include <set>

#include "quantora/dblayer/TQuery.h"
#include "quantora/records/Othertables.h"

class QLabel;
class QPushButton;
class QSplitter;
class QTreeWidget;

namespace quantora {

// Source records ordered by SOURCE_ID.
struct SourceIdLess {
    bool operator()(const SOURCEData& a, const SOURCEData& b) const {
        return a.SOURCE_ID < b.SOURCE_ID;
    }
};
using SourceSet = std::set<SOURCEData, SourceIdLess>;

}  // namespace quantora

class TFormSourceSelection : public QDialog {
    Q_OBJECT
  public:
    explicit TFormSourceSelection(QWidget* owner = nullptr);
    ~TFormSourceSelection() override;

    // Set by the caller before showing; DbName is required.
    AnsiString DbName;
    std::set<int>* ExcludedSourceIDs = nullptr;
    quantora::SourceSet* SelectedSources = nullptr;

    // Every source read on show (the first record read of an id stays).
    quantora::SourceSet AllSources;
    // The keys of the sources in the selected tree.
    std::set<int> SelectedSourceIDs;

    TQuery SourceQ;

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

    // Rebuilds the available tree from AllSources.
    void ShowAllSources();

    // The handlers; failures end in a message, never in an exception.
    void FormShow();
    void AddButtonClick();
    void RemoveButtonClick();
    void OKButtonClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    void ReadSources();
};
