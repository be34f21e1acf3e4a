// qdb browse: the measurement selection dialog on a database; prints what the user chose.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "quantora/base/Exception.h"
#include "quantora/dialogs/DialogHooks.h"
#include "quantora/dialogs/Measselectionform.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/LabSupport.h"

namespace qdbtool {

int CmdBrowse(const Args& args) {
    if (args.size() != 1) throw UsageError();
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !(platform && *platform))
        throw Exception("no display (set DISPLAY, or run under xvfb-run)");
    constexpr const char* kAlias = "qdb";
    OpenLabDatabase(kAlias, args[0]);

    static int argc = 1;
    static char name[] = "qdb";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QApplication::setApplicationName("qdb browse");
    InstallDialogHooks();

    std::set<int> excluded;
    std::set<MEASUREMENTData> chosen;
    TFormMeasSelection form;
    form.DbName = kAlias;
    form.ExcludedMeasIDs = &excluded;
    form.SelectedMeas = &chosen;
    if (form.exec() != QDialog::Accepted) {
        std::fprintf(stderr, "qdb browse: cancelled\n");
        return 1;
    }
    for (const MEASUREMENTData& m : chosen)
        std::printf("%d\t%s\n", m.MEASUREMENT_ID, m.NAME.c_str());
    return 0;
}

}  // namespace qdbtool
