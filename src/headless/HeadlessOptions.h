#pragma once

#include <QString>
#include <QStringList>

// What the command line of kestrel-headless asks for.
struct HeadlessOptions {
    enum class Action { Run, Help, Version, Wrong };

    Action action = Action::Wrong;
    QString file;     // the configuration file, as given
    bool all = false; // activate every session, not only those stored as active
    QString wrong;    // what is wrong with the command line, one line

    // `arguments` as the program received them, its own name first. --help and --version win
    // over everything else; otherwise exactly one file is expected.
    static HeadlessOptions parse(const QStringList &arguments);

    // The text of --help.
    static QString usage();
};
