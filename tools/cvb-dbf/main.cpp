// cvb-dbf: create, list and edit the tables of a database folder from the command line.
#include "tools/HelpOption.h"
#include "tools/cvb-dbf/DbfCommands.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (const auto status = cvb::answerHelpOrVersion("cvb-dbf", app.arguments().mid(1), cvb::dbf::usage()))
        return *status;
    QTextStream out(stdout);
    QTextStream err(stderr);
    return cvb::dbf::run(app.arguments().mid(1), out, err);
}
