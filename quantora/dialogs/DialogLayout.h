// The two layouts of the selection dialogs: two trees with add and remove buttons between them,
// or one tree with an optional group box below it; OK and Cancel at the bottom right.
#pragma once

class QDialog;
class QGroupBox;
class QLabel;
class QPushButton;
class QSplitter;
class QTreeWidget;
class QWidget;

namespace quantora::dialogs {

// A read-only tree without a header row, single selection, 16-pixel images.
QTreeWidget* NewSelectionTree(const char* objectName, QWidget* parent);

struct TwoTreeWidgets {
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
};

// The available tree fills the width left of the 262-pixel selected part; the add and remove
// column stands at its right edge, the splitter between the two parts. Cancel rejects; OK is
// left for the dialog to connect.
TwoTreeWidgets BuildTwoTreeLayout(QDialog* form, const char* availableHeader,
                                  const char* selectedHeader);

struct OneTreeWidgets {
    QLabel* Header;
    QTreeWidget* AvailableTree;
    QSplitter* Splitter;          // null without a group box
    QGroupBox* SelectedGroupBox;  // null when not asked for
    QPushButton* OKButton;
    QPushButton* CancelButton;
};

// A header above one tree; with `groupBoxTitle`, an empty group box below the tree behind a
// splitter. Cancel rejects; OK is left for the dialog to connect.
OneTreeWidgets BuildOneTreeLayout(QDialog* form, const char* header, const char* groupBoxTitle);

}  // namespace quantora::dialogs
