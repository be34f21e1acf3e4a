// The Qt implementations of the frame's UI hooks.
#include "quantora/dialogs/DialogHooks.h"

#include <QApplication>
#include <QMessageBox>

#include "quantora/dialogs/Deletionproblemsolverform.h"
#include "quantora/frame/UiHooks.h"

void InstallDialogHooks() {
    quantora::UiHooks hooks;
    hooks.process_messages = [] { QCoreApplication::processEvents(); };
    hooks.message_box = [](const AnsiString& text) {
        QMessageBox::information(
            QApplication::activeWindow(), QApplication::applicationName(),
            QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
    };
    hooks.present_deletion_problems = [](DbObjectDeletionInfo& info) {
        TFormDeletionProblemSolver form(QApplication::activeWindow());
        form.DeletionInfo = &info;
        return form.exec() == QDialog::Accepted;
    };
    quantora::InstallUiHooks(std::move(hooks));
}
