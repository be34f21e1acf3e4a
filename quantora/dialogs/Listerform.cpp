// The lister dialog: 529 by 362, an image and a centred text above the list, one of two button
// bands below.
#include "quantora/dialogs/Listerform.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "quantora/dialogs/Icons.h"

using quantora::dialogs::Symbol;
using quantora::dialogs::SymbolPixmap;

TFormLister::TFormLister(QWidget* owner) : QDialog(owner) {
    setObjectName("FormLister");
    setWindowTitle("Confirm");
    resize(529, 362);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(25, 0, 25, 0);

    auto* top = new QWidget(this);
    top->setFixedHeight(89);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 37, 0);
    auto* imagePanel = new QWidget(top);
    imagePanel->setFixedWidth(72);
    ErrImage = new QLabel(imagePanel);
    ConfirmImage = new QLabel(imagePanel);
    ErrImage->setObjectName("ErrImage");
    ConfirmImage->setObjectName("ConfirmImage");
    for (QLabel* image : {ErrImage, ConfirmImage}) image->setGeometry(10, 18, 52, 52);
    ErrImage->setPixmap(SymbolPixmap(Symbol::Error, 52));
    ConfirmImage->setPixmap(SymbolPixmap(Symbol::Question, 52));
    TextLabel = new QLabel("Are you sure?", top);
    TextLabel->setObjectName("TextLabel");
    TextLabel->setAlignment(Qt::AlignCenter);
    TextLabel->setWordWrap(true);
    topLayout->addWidget(imagePanel);
    topLayout->addWidget(TextLabel, 1);
    outer->addWidget(top);

    ItemListBox = new QListWidget(this);
    ItemListBox->setObjectName("ItemListBox");
    outer->addWidget(ItemListBox, 1);

    auto band = [this, outer](const char* name) {
        auto* panel = new QWidget(this);
        panel->setObjectName(name);
        panel->setFixedHeight(52);
        auto* layout = new QHBoxLayout(panel);
        layout->addStretch();
        outer->addWidget(panel);
        return std::make_pair(panel, layout);
    };
    auto [closePanel, closeLayout] = band("ClosePanel");
    ClosePanel = closePanel;
    BitBtn1 = new QPushButton("Close", ClosePanel);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setIcon(quantora::dialogs::SymbolIcon(Symbol::Tick));
    closeLayout->addWidget(BitBtn1);
    closeLayout->addStretch();

    auto [okPanel, okLayout] = band("OkPanel");
    OkPanel = okPanel;
    OkButton = new QPushButton("OK", OkPanel);
    OkButton->setObjectName("OkButton");
    OkButton->setDefault(true);
    CancelButton = new QPushButton("Cancel", OkPanel);
    CancelButton->setObjectName("CancelButton");
    okLayout->addWidget(OkButton);
    okLayout->addWidget(CancelButton);
    okLayout->addStretch();

    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormLister::FormShow() {
    const bool error = DisplayMode == 1;
    setWindowTitle(error ? "Error" : "Confirm");
    ErrImage->setVisible(error);
    ConfirmImage->setVisible(!error);
    OkPanel->setVisible(!error);
    ClosePanel->setVisible(error);
}

void TFormLister::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TFormLister::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}
