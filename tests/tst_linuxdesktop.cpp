#include "ModalDialog.h"
#include "TestSupport.h"
#include "core/app/ProgramFolder.h"
#include "core/text/LoadResource.h"
#include "gui/dialogs/MessageBox.h"
#include "gui/dialogs/frmOptions.h"
#include "gui/main/frmMain.h"
#include "gui/session/frmDocument.h"
#include "gui/widgets/Twips.h"

#include <QtTest>
#include <QtWidgets>

using namespace TestSupport;

// What a Linux user meets, on real widgets offscreen: help that says when it cannot open, a log
// file in the home folder, session windows that keep their size, file dialogs that match.
class tst_LinuxDesktop : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_messages;

private slots:
    void init()
    {
        LoadResource::setRunningLanguage(LoadResource::Language::English);
        ProgramFolder::setPath(m_dir.path());
        m_messages.clear();
        MessageBox::setAnswerer([this](const QString &, const QString &t) { m_messages << t; });
    }

    void helpIndexSaysWhenNothingOpensIt_data()
    {
        // An xdg-open script; "none": no opener at all; empty: no help file, the system's opener.
        QTest::addColumn<QByteArray>("opener");
        QTest::newRow("viewer starts") << QByteArray("echo \"$1\" > \"${1%/*}/opened\"");
        QTest::newRow("no program for the file") << QByteArray("exit 3");
        QTest::newRow("no opener on the PATH") << QByteArray("none");
        QTest::newRow("missing file, system opener") << QByteArray();
    }

    void helpIndexSaysWhenNothingOpensIt()
    {
        QFETCH(QByteArray, opener);
        QTemporaryDir bin; // the program's folder, with the help file, and the PATH
        ProgramFolder::setPath(bin.path());
        const QString help = bin.filePath("kestrel.chm"), opened = bin.filePath("opened");
        const QByteArray path = qgetenv("PATH");
        if (!opener.isEmpty()) {
            const QString script = bin.filePath("xdg-open");
            QVERIFY(writeFile(help, "ITSF") &&
                    (opener == "none" || writeFile(script, "#!/bin/sh\n" + opener + "\n")));
            QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);
            qputenv("PATH", bin.path().toLocal8Bit());
        }
        frmMain main;
        main.mnuHelpContents->trigger();
        qputenv("PATH", path);
        QTRY_VERIFY_WITH_TIMEOUT(qApp->findChildren<QProcess *>().isEmpty(), 10000);
        // The viewer is given the help file; otherwise one message names it and what to install.
        const bool viewer = opener.startsWith("echo");
        QCOMPARE(readFile(opened).trimmed(), viewer ? help.toUtf8() : QByteArray());
        QCOMPARE(m_messages.size(), viewer ? 0 : 1);
        QVERIFY(viewer || (m_messages[0].contains(help) && m_messages[0].contains("xchm")));
    }

    // A new session logs to the home folder (a stored name stays as stored), and its window keeps
    // its designed size in a main window of any size: the area scrolls to every control.
    void sessionWindowKeepsItsDesignedSize_data()
    {
        QTest::addColumn<QSize>("mainSize");
        QTest::addColumn<bool>("beforeShow"); // created while loading, before the window shows
        const QSize first(Twips::toPixels(7000), Twips::toPixels(5000));
        QTest::newRow("first start, loading") << first << true;
        QTest::newRow("first start, File > New") << first << false;
        QTest::newRow("small window, loading") << QSize(250, 160) << true;
    }

    void sessionWindowKeepsItsDesignedSize()
    {
        QFETCH(QSize, mainSize);
        QFETCH(bool, beforeShow);
        frmMain main;
        main.resize(mainSize);
        if (!beforeShow)
            main.show();
        main.NewSession();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        frmDocument *document = main.sessionWindows()[0];
        QCOMPARE(document->txtLogFile->text(), QDir::homePath() + "/Kestrel.txt");
        QMdiArea *area = main.mdiArea();
        for (const QSize size : {mainSize, QSize(1200, 900)}) {
            main.resize(size);
            QCOMPARE(document->size(), QSize(Twips::toPixels(7320), Twips::toPixels(3930)));
            for (const QWidget *control : document->findChildren<QWidget *>())
                QVERIFY(!control->isVisible() || document->rect().contains(control->geometry()));
            // The near edges show first; scrolled to the right, the log file's browse button.
            QTRY_VERIFY(area->viewport()->rect().contains(document->parentWidget()->pos()));
            area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
            area->verticalScrollBar()->setValue(0);
            const QPushButton *browse = document->Command3[0];
            QTRY_VERIFY(area->viewport()->rect().contains(
                QRect(browse->mapTo(area->viewport(), QPoint()), browse->size())));
        }
        const QString ksf = m_dir.filePath("stored.ksf");
        QVERIFY(writeFile(ksf, "[Kestrel]\nNumSessions=1\n[Session1]\nLogFile=C:\\Kestrel.txt\n"));
        main.getprofilesettings(ksf);
        QCOMPARE(main.sessionWindows()[0]->txtLogFile->text(), QString("C:\\Kestrel.txt"));
    }

    void fileDialogsMatchAsOnTheOriginalPlatform_data()
    {
        QTest::addColumn<int>("filterIndex"); // 0: the Options dialog's Browse
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("All Files") << 2 << QStringList{"B.TXT", "a.txt", "c.Txt", "notes", "tool"};
        QTest::newRow("*.txt") << 1 << QStringList{"B.TXT", "a.txt", "c.Txt"};
        QTest::newRow("Options, Programs") << 0 << QStringList{"tool"};
    }

    void fileDialogsMatchAsOnTheOriginalPlatform()
    {
        QFETCH(int, filterIndex);
        QFETCH(QStringList, listed);
        QTemporaryDir dir;
        for (const char *name : {"a.txt", "B.TXT", "c.Txt", "notes", "tool"})
            QVERIFY(writeFile(dir.filePath(name), "x"));
        QFile::setPermissions(dir.filePath("tool"), QFile::ReadOwner | QFile::ExeOwner);
        QStringList seen;
        const auto shown = whenModal<QFileDialog>([&](QFileDialog *dialog) {
            const auto *view = dialog->findChild<QListView *>("listView");
            const auto complete = [&] {
                seen.clear();
                for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                    seen << view->model()->index(row, 0, view->rootIndex()).data().toString();
                seen.sort();
                return seen == listed;
            };
            (void)QTest::qWaitFor(complete, 10000); // read in the background; late: fails below
            dialog->reject();
        });
        if (filterIndex == 0) {
            frmOptions options;
            options.CommonDialog1.FileName = dir.filePath("none");
            options.Command1_Click();
        } else {
            FileDialog dialog;
            dialog.FileName = dir.filePath("none");
            dialog.Filter = "Text Files (*.TXT)|*.txt|All Files (*.*)|*.*";
            dialog.FilterIndex = filterIndex;
            dialog.ShowOpen();
        }
        QVERIFY(*shown);
        QCOMPARE(seen, listed);
    }
};

QTEST_MAIN(tst_LinuxDesktop)
#include "tst_linuxdesktop.moc"
