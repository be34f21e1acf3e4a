// Shared by the selection dialog tests: a lab database with a project tree, captured messages,
// and short ways to look at tree nodes.
#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <QTest>
#include <QTreeWidget>
#include <initializer_list>
#include <vector>

#include "quantora/base/Format.h"
#include "quantora/dialogs/TreeNodes.h"
#include "quantora/frame/UiHooks.h"
#include "tests/support/TestDatabase.h"

namespace dialogtest {

// Messages shown through the UI hooks while the capture lives.
class MessageCapture {
  public:
    MessageCapture() {
        quantora::UiHooks hooks;
        hooks.message_box = [this](const AnsiString& text) { messages.push_back(text); };
        quantora::InstallUiHooks(std::move(hooks));
    }
    ~MessageCapture() { quantora::InstallUiHooks({}); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    std::vector<AnsiString> messages;
};

// The texts of the children of `node`, or of the top-level nodes for a null node.
inline QStringList Texts(QTreeWidget* tree, QTreeWidgetItem* node = nullptr) {
    QStringList out;
    QTreeWidgetItem* parent = node ? node : tree->invisibleRootItem();
    for (int i = 0; i < parent->childCount(); ++i) out << parent->child(i)->text(0);
    return out;
}

// The node reached from the top along `path`, each step by text; fails the test when missing.
inline QTreeWidgetItem* At(QTreeWidget* tree, std::initializer_list<const char*> path) {
    QTreeWidgetItem* node = tree->invisibleRootItem();
    for (const char* text : path) {
        const int i = Texts(tree, node == tree->invisibleRootItem() ? nullptr : node).indexOf(text);
        if (i < 0) {
            ADD_FAILURE() << "no node '" << text << "'";
            return nullptr;
        }
        node = node->child(i);
    }
    return node;
}

// A filled lab database:
//   Root A (1)                 measurements M10, M11, M12
//     Level 1 (2)              measurements M20, M21
//       Level 2 (3)            measurement  M30
//         Deep (4)             measurements M40, M41
//           Deeper (5)
//     Sibling (6)
//   Root B (7)
// M10 and M11 have spectra (S10a, S10b, S11); calibrations hang below S10a. Sources Src1..Src4.
class LabDatabase {
  public:
    LabDatabase() : db(true) {
        for (const char* p :
             {"1, NULL, 'Root A'", "2, 1, 'Level 1'", "3, 2, 'Level 2'", "4, 3, 'Deep'",
              "5, 4, 'Deeper'", "6, 1, 'Sibling'", "7, NULL, 'Root B'"})
            db.Exec(quantora::Format(
                "INSERT INTO PROJECT (PROJECT_ID, SUPERPROJECT_ID, NAME) VALUES (%s)", p));
        for (int id : {10, 11, 12, 20, 21, 30, 40, 41}) AddMeasurement(id, id / 10);
        for (const char* sp : {"100, 10, 'S10a'", "101, 10, 'S10b'", "110, 11, 'S11'"})
            db.Exec(quantora::Format(
                "INSERT INTO SPECTRUM (SPECTRUM_ID, MEASUREMENT_ID, NAME) VALUES (%s)", sp));
        for (int id : {3, 1, 4, 2})  // out of key order
            db.Exec(quantora::Format(
                "INSERT INTO SOURCE (SOURCE_ID, NAME, OWNER) VALUES (%d, 'Src%d', 'Owner %d')", id,
                id, id));
    }

    // Measurement "M<id>" of `project`, object type 1.
    void AddMeasurement(int id, int project, int setup = 0, int objType = 1) {
        db.Exec(quantora::Format(
            "INSERT INTO MEASUREMENT (MEASUREMENT_ID, PROJECT_ID, NAME, MEASSETUP_ID, "
            "MEASOBJTYPE_ID, CMT) VALUES (%d, %d, 'M%d', %s, %d, 'comment %d')",
            id, project, id, setup > 0 ? quantora::Format("%d", setup).c_str() : "NULL", objType,
            id));
    }
    void AddECal(int id, int spectrum, const char* name, double a) {
        db.Exec(quantora::Format(
            "INSERT INTO ECAL (ECAL_ID, SPECTRUM_ID, NAME, TENTATIVE, PARAMA, PARAMB, "
            "USENONLINPART) VALUES (%d, %d, '%s', 'N', %g, 0.5, 'N')",
            id, spectrum, name, a));
    }

    quantora::test::TestDatabase db;
};

// The fixture of the selection dialog tests: captured messages and the lab database.
class SelectionTest : public ::testing::Test {
  protected:
    template <class Form>
    void Show(Form& form) {
        form.DbName = lab.db.alias();
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }

    MessageCapture capture;
    LabDatabase lab;
};

}  // namespace dialogtest
