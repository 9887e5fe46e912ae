#include "ModalDialog.h"
#include "TestSupport.h"
#include "core/app/ProgramFolder.h"
#include "core/text/LoadResource.h"
#include "gui/dialogs/MessageBox.h"
#include "gui/dialogs/frmOptions.h"
#include "gui/main/frmMain.h"
#include "gui/session/frmDocument.h"
#include "gui/widgets/Twips.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

// What a Linux user meets on the desktop, on real widgets offscreen: help that says when it
// cannot open, a log file in the home folder, session windows that keep their size, and file
// dialogs whose patterns mean what they say.
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
        MessageBox::setAnswerer(
            [this](const QString &, const QString &text) { m_messages << text; });
    }

    void helpIndexSaysWhenNothingOpensIt_data()
    {
        QTest::addColumn<QByteArray>("opener"); // an xdg-open script; "none": no opener at all
        QTest::addColumn<bool>("helpFile");
        QTest::addColumn<bool>("message");
        QTest::newRow("viewer starts") << QByteArray("exit 0") << true << false;
        QTest::newRow("no program for the file") << QByteArray("exit 3") << true << true;
        QTest::newRow("no opener on the PATH") << QByteArray("none") << true << true;
        QTest::newRow("missing file, system opener") << QByteArray() << false << true;
    }

    void helpIndexSaysWhenNothingOpensIt()
    {
        QFETCH(QByteArray, opener);
        QFETCH(bool, helpFile);
        QFETCH(bool, message);
        const QString help = m_dir.filePath("kestrel.chm");
        QFile::remove(help);
        QVERIFY(!helpFile || writeFile(help, "ITSF"));
        const QByteArray path = qgetenv("PATH");
        QTemporaryDir bin;
        if (!opener.isEmpty()) {
            const QString script = bin.filePath("xdg-open");
            QVERIFY(opener == "none" || writeFile(script, "#!/bin/sh\n" + opener + "\n"));
            QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);
            qputenv("PATH", bin.path().toLocal8Bit());
        }
        frmMain main;
        main.mnuHelpContents->trigger();
        qputenv("PATH", path);
        QTRY_VERIFY_WITH_TIMEOUT(qApp->findChildren<QProcess *>().isEmpty(), 10000);
        QCOMPARE(m_messages.size(), message ? 1 : 0);
        QVERIFY(!message || (m_messages[0].contains(help) && m_messages[0].contains("xchm")));
    }

    void newSessionLogsToTheHomeFolder()
    {
        frmMain main;
        main.NewSession();
        QCOMPARE(main.sessionWindows()[0]->txtLogFile->text(), QDir::homePath() + "/Kestrel.txt");
        const QString ksf = m_dir.filePath("stored.ksf");
        QVERIFY(writeFile(
            ksf, "[Kestrel]\r\nNumSessions=1\r\n[Session1]\r\nLogFile=C:\\Kestrel.txt\r\n"));
        main.getprofilesettings(ksf);
        QCOMPARE(main.sessionWindows()[0]->txtLogFile->text(), QString("C:\\Kestrel.txt"));
    }

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
        QMdiArea *area = main.mdiArea();
        for (const QSize size : {mainSize, QSize(1200, 900)}) {
            main.resize(size);
            // Its designed size: every control at its designed place within it.
            QCOMPARE(document->size(), QSize(Twips::toPixels(7320), Twips::toPixels(3930)));
            // First the near edges show, the title and the first controls; scrolled to the
            // right, the log file's browse button.
            QTRY_VERIFY(area->viewport()->rect().contains(document->parentWidget()->pos()));
            area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
            area->verticalScrollBar()->setValue(0);
            const QPushButton *browse = document->Command3[0];
            QTRY_VERIFY(area->viewport()->rect().contains(
                QRect(browse->mapTo(area->viewport(), QPoint()), browse->size())));
        }
    }

    void fileDialogsMatchAsOnTheOriginalPlatform_data()
    {
        QTest::addColumn<QString>("filter"); // empty: the Options dialog's Browse
        QTest::addColumn<int>("filterIndex");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("listedWithNextFilter");
        const QString text = "Text Files (*.TXT)|*.txt|All Files (*.*)|*.*";
        const QStringList all = {"B.TXT", "a.txt", "c.Txt", "notes", "tool"};
        QTest::newRow("All Files") << text << 2 << all << all;
        QTest::newRow("*.txt") << text << 1 << QStringList{"B.TXT", "a.txt", "c.Txt"} << all;
        QTest::newRow("Options, Programs") << QString() << 1 << QStringList{"tool"} << all;
    }

    void fileDialogsMatchAsOnTheOriginalPlatform()
    {
        QFETCH(QString, filter);
        QFETCH(int, filterIndex);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, listedWithNextFilter);
        QTemporaryDir dir;
        for (const char *name : {"a.txt", "B.TXT", "c.Txt", "notes", "tool"})
            QVERIFY(writeFile(dir.filePath(name), "x"));
        QFile::setPermissions(dir.filePath("tool"), QFile::ReadOwner | QFile::ExeOwner);
        QStringList seen[2];
        const auto shown = whenModal<QFileDialog>([&](QFileDialog *dialog) {
            auto *view = dialog->findChild<QListView *>("listView");
            const auto names = [view] {
                QStringList names;
                for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                    names << view->model()->index(row, 0, view->rootIndex()).data().toString();
                names.sort();
                return names;
            };
            // The folder is read in the background: the list fills in as it comes.
            for (const QStringList &expected : {listed, listedWithNextFilter}) {
                if (!seen[0].isEmpty())
                    QTest::keyClick(dialog->findChild<QComboBox *>("fileTypeCombo"), Qt::Key_Down);
                seen[seen[0].isEmpty() ? 0 : 1] =
                    QTest::qWaitFor([&] { return names() == expected; }, 10000) ? expected
                                                                                : names();
            }
            dialog->reject();
        });
        if (filter.isEmpty()) {
            frmOptions options;
            options.CommonDialog1.FileName = dir.filePath("none");
            options.Command1_Click();
        } else {
            FileDialog dialog;
            dialog.FileName = dir.filePath("none");
            dialog.Filter = filter;
            dialog.FilterIndex = filterIndex;
            dialog.ShowOpen();
        }
        QVERIFY(*shown);
        QCOMPARE(seen[0], listed);
        QCOMPARE(seen[1], listedWithNextFilter);
    }
};

QTEST_MAIN(tst_LinuxDesktop)
#include "tst_linuxdesktop.moc"
