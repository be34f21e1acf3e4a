// Creates a lab database through the installed library, reads a row back and tells a refused
// duplicate by its error category.
#include <cstdio>

#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    OpenDatabase("lab", std::string("sqlite:") + argv[1]);
    CreateSchema("lab");
    TQuery q;
    q.SetDatabaseName("lab");
    q.SetSQL("INSERT INTO PROJECT (PROJECT_ID, NAME) VALUES (1, 'installed')");
    q.ExecSQL();
    try {
        q.ExecSQL();
        return 1;
    } catch (const EDatabaseError& e) {
        if (e.Category() != DbErrorCategory::Constraint) return 1;
    }
    q.SetSQL("SELECT NAME FROM PROJECT");
    q.Open();
    std::printf("%s\n", q.FieldByName("NAME")->AsString().c_str());
    return q.FieldByName("NAME")->AsString() == "installed" ? 0 : 1;
}
