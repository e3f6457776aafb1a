// The commands of cvb-dbf, a small tool for people and scripts that work on the tables.
#pragma once
#include <QStringList>
#include <QTextStream>

namespace cvb::dbf {

enum ExitCode { Ok = 0, Failed = 1, Usage = 2 };

// Runs the command given by `args` (without the program name) and returns the exit code.
int run(const QStringList &args, QTextStream &out, QTextStream &err);

QString usage();

} // namespace cvb::dbf
