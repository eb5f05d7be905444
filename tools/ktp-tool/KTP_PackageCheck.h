#pragma once

#include <QString>
#include <QStringList>

// Checks an unpacked package tree as the program would use it: the files the
// package must hold, its version file, and the program's own configuration
// parser over "CONF/components.json" with relative binary paths taken below
// the tree. Returns every error found, one text each, in the parser's words
// for the configuration; empty when the tree is sound.
QStringList CheckPackageTree(const QString& folder);
