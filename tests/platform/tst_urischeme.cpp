#include "UriScheme.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

class TstUriScheme : public QObject
{
    Q_OBJECT

    static QString readFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void initTestCase()
    {
        // Runs in the test's own home, never the user's.
        QVERIFY(!qEnvironmentVariableIsEmpty("BMS_TEST_HOME"));
    }

    void windowsCommandsQuoteThePathAndTheUrl()
    {
        const QStringList cmds = uriSchemeRegistryCommands("C:/Program Files/KEPO/bms gui.exe");
        QCOMPARE(cmds.size(), 3);
        QCOMPARE(cmds[0], QString("REG Add HKEY_CURRENT_USER\\SOFTWARE\\Classes\\rmskepo /f /ve /t REG_SZ /d \"URL:rmskepo\""));
        QCOMPARE(cmds[1], QString("REG Add HKEY_CURRENT_USER\\SOFTWARE\\Classes\\rmskepo\\DefaultIcon /f /ve /t REG_SZ /d \"bms gui.exe, 1\""));
        QCOMPARE(cmds[2], QString("REG Add HKEY_CURRENT_USER\\SOFTWARE\\Classes\\rmskepo\\shell\\open\\command /f /ve /t REG_SZ /d \"\\\"C:\\Program Files\\KEPO\\bms gui.exe\\\" -uri \\\"%1\\\"\""));
    }

    void desktopEntryIsWrittenAndMadeTheDefault()
    {
        const QString configDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QDir().mkpath(configDir);
        const QString mimeapps = QDir(configDir).filePath("mimeapps.list");
        {
            QFile f(mimeapps);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[Default Applications]\ntext/html=browser.desktop\nx-scheme-handler/rmskepo=old.desktop\n"
                    "[Added Associations]\nimage/png=viewer.desktop\n");
        }

        const QString program = "/opt/kepo tools/bms-gui";
        registerUriScheme(program);
        registerUriScheme(program); // every start registers again

        const QString entryPath = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                                      .filePath(QString("applications/") + kUriSchemeDesktopFile);
        const QString entry = readFile(entryPath);
        QVERIFY(entry.contains("Exec=\"/opt/kepo tools/bms-gui\" -uri %u\n"));
        QVERIFY(entry.contains("MimeType=x-scheme-handler/rmskepo;\n"));

        const QString list = readFile(mimeapps);
        QCOMPARE(list.count("x-scheme-handler/rmskepo="), 1);
        QVERIFY(list.contains("x-scheme-handler/rmskepo=kepo-bms-rmskepo.desktop\n"));
        QVERIFY(list.contains("text/html=browser.desktop\n"));
        QVERIFY(list.contains("[Added Associations]\nimage/png=viewer.desktop\n"));
    }

    void specialCharactersInThePathAreEscaped()
    {
        const QString entry = uriSchemeDesktopEntry("/home/a\"b/$x/100%/prog");
        QVERIFY(entry.contains("Exec=\"/home/a\\\"b/\\$x/100%%/prog\" -uri %u"));
    }
};

QTEST_GUILESS_MAIN(TstUriScheme)
#include "tst_urischeme.moc"
