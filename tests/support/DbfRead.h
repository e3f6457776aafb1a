// Reads tables with dbfread (an independent dBase reader) through the data tests' interop script.
#pragma once

#include "tests/support/Peers.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <gtest/gtest.h>

// {path: {"fields": [[name, type, length, decimals], ...], "records": [{field: value}, ...], ...}}
inline QJsonObject describeWithDbfread(const QStringList &paths)
{
    const auto result = cvb::test::runProcess(
        cvb::test::python(), QStringList{cvb::test::sourcePath(QStringLiteral("tests/data/dbf_interop.py")),
                                         QStringLiteral("describe")} +
                                 paths);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    return QJsonDocument::fromJson(result.out).object();
}
