// The main window's template and data-list commands: templates saved and loaded
// again for every record form, the files' text encodings, the keyword that chooses
// the form, the remembered folders, a save that fails, and files that are no
// template or data list at all, none of which may write a tag.
#include "app/TemplateFiles.h"
#include "ShellTestSupport.h"
#include "app/CommandIds.h"
#include "app/ProfileSettings.h"
#include "forms/RecordFormView.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using kqtest::ControlById;
using kqtest::FrameBench;

// A main window whose file dialogs answer with `answer` and note what they were asked.
struct FileBench : FrameBench {
    FileBench() {
        frame->SetFileDialog([this](QWidget*, const FileDialogRequest& request) {
            requests << request;
            return answer;
        });
    }
    // The path of `name` in the test's folder, written with `bytes` when given.
    QString File(const QString& name, const QByteArray& bytes = {}) {
        const QString path = folder.filePath(name);
        if (!bytes.isNull()) {
            QFile file(path);
            if (file.open(QIODevice::WriteOnly)) file.write(bytes);
        }
        return path;
    }
    QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }
    void Run(int command, const QString& path) {
        answer = path;
        frame->Action(command)->trigger();
    }
    CRecordFormView* Form() const { return qobject_cast<CRecordFormView*>(frame->ActiveView()); }

    QTemporaryDir folder;
    QString answer;
    QList<FileDialogRequest> requests;
};

// Writing a file larger than `bytes` fails in this scope as on a full disk (the
// signal that would end the process is ignored, the write answers EFBIG).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

} // namespace

class TemplateFilesTest : public QObject {
    Q_OBJECT
private slots:
    // Every record form saves its record and loads it back, multi-line values and
    // umlauts included; the file is UTF-8 with CR LF line ends.
    void templatesRoundTrip_data() {
        QTest::addColumn<int>("viewId");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("text") << int(kViewText) << QStringList{"Grüße\nZeile 2\n\nZeile 4"}
                              << QByteArray("TEXT\r\nTEXT:Grüße\r\nZeile 2\r\n\r\nZeile 4\r\n");
        QTest::newRow("SMS")
            << int(kViewSms) << QStringList{"Rückruf", "+49 170 1", "Hallo\nbis später\n"}
            << QByteArray("SMS\r\nTEXT:Rückruf\r\nNUMBER:+49 170 1\r\nMESSAGE:Hallo\r\nbis später\r\n\r\n");
        QTest::newRow("telephone number") << int(kViewTelephon) << QStringList{"Zentrale", "0800 123"}
                                          << QByteArray("TELEPHON\r\nTEXT:Zentrale\r\nNUMBER:0800 123\r\n");
        QTest::newRow("e-mail") << int(kViewMail)
                                << QStringList{"", "ä@example.org", "Öffnungszeiten", "a\nb"}
                                << QByteArray(
                                       "MAIL\r\nTEXT:\r\nADDRESS:ä@example.org\r\nSUBJECT:Öffnungszeiten\r\n"
                                       "MESSAGE:a\r\nb\r\n");
        // The prefix line is split when read: "https://" selects itself, not the
        // longer "https://www.".
        QTest::newRow("web address") << int(kViewBookmark)
                                     << QStringList{"Über uns", "https://", "example.org"}
                                     << QByteArray("BOOKMARK\r\nTEXT:Über uns\r\nPREPEND:https://\r\n"
                                                   "ADDRESS:example.org\r\n");
        // Telephone types go as their keywords.
        QTest::newRow("contact") << int(kViewContact)
                                 << QStringList{"Max",        "Müller", "Vek GmbH", "Mobil Arbeit", "+49 1",
                                                "Fax privat", "+49 2",  "m@x.de",   "http://www.",  "vek.de"}
                                 << QByteArray(
                                        "CONTACT\r\nFIRSTNAME:Max\r\nSURNAME:Müller\r\n"
                                        "ORGINISATION:Vek GmbH\r\nTEL1TYP:TEL_MOBILE_WORK\r\n"
                                        "PHONE1NR:+49 1\r\nTEL2TYP:TEL_FAX_HOME\r\nPHONE2NR:+49 2\r\n"
                                        "MAIL:m@x.de\r\nWEB_PREPEND:http://www.\r\nWEB_ADDRESS:vek.de\r\n");
    }
    void templatesRoundTrip() {
        QFETCH(int, viewId);
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, file);
        FileBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, viewId);
        kqtest::FillFields(*form, fields);
        const QString path = bench.File("vorlage.tdp");
        bench.Run(IdSaveTemplate, path);
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Vorlage gespeichert: vorlage.tdp"));
        QCOMPARE(bench.Read(path), file);

        kqtest::ChooseRecordForm(*bench.frame, kViewText == viewId ? kViewSms : kViewText);
        bench.Run(IdLoadTemplate, path);
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Vorlage geladen"));
        QCOMPARE(bench.frame->CurrentViewId(), viewId);
        for (QString& field : fields)
            field.replace("\n", "\r\n");
        QCOMPARE(kqtest::FieldTexts(*bench.Form()), fields);
        QCOMPARE(ControlById<QLineEdit>(*bench.Form(), CRecordFormView::IdFileName)->text(),
                 QStringLiteral("vorlage.tdp"));
    }

    // Templates of the Windows program: Windows-1252 text, and a line break inside a
    // value written as CR CR LF; the text after it, which the old rule dropped, is
    // now kept.
    void templatesOfTheWindowsProgramRead() {
        FileBench bench;
        bench.Run(IdLoadTemplate, bench.File("alt.tdp", "SMS\r\nTEXT:Gr\xFC\xDF"
                                                        "e\r\nNUMBER:1\r\nMESSAGE:a\r\r\nb\r\n"));
        QCOMPARE(bench.frame->CurrentViewId(), int(kViewSms));
        QCOMPARE(kqtest::FieldTexts(*bench.Form()), (QStringList{"Grüße", "1", "a\r\nb"}));
    }

    // A template whose first line names no kind exactly is refused with message 193
    // and leaves the form as it was; so are files that are no text.
    void aTemplateOfNoKindIsRefused_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");
        const QString invalid = QStringLiteral("Vorlage mit ungültigen Daten.");
        QTest::newRow("lower-case keyword") << QByteArray("text\r\nTEXT:a\r\n") << invalid;
        QTest::newRow("unknown keyword") << QByteArray("NOTIZ\r\nTEXT:a\r\n") << invalid;
        QTest::newRow("keyword with a blank") << QByteArray("TEXT \r\nTEXT:a\r\n") << invalid;
        QTest::newRow("empty file") << QByteArray("") << invalid;
        QTest::newRow("UTF-16") << QByteArray("\xFF\xFET\0E\0X\0T\0", 10)
                                << QStringLiteral("Die Datei ist keine Textdatei (UTF-8 oder Windows-1252).");
        QTest::newRow("10 MB") << QByteArray("TEXT\r\nTEXT:") + QByteArray(10 << 20, 'x')
                               << QStringLiteral("Die Datei ist zu groß (höchstens 100000 Bytes).");
    }
    void aTemplateOfNoKindIsRefused() {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        FileBench bench;
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewSms);
        kqtest::FillFields(*form, {"d", "1", "m"});
        kqtest::ModalWatcher watcher;
        bench.Run(IdLoadTemplate, bench.File("falsch.tdp", file));
        QCOMPARE(watcher.seen, QStringList{message});
        QCOMPARE(bench.frame->ActiveView(), form);
        QCOMPARE(kqtest::FieldTexts(*form), (QStringList{"d", "1", "m"}));
        QCOMPARE(bench.frame->StatusText(), QString());
    }

    // A save that fails says so (message 222), never "Vorlage gespeichert", and
    // leaves the file that was there as it was.
    void aFailedSaveKeepsTheOldFile() {
        FileBench bench;
        const QByteArray old("TEXT\r\nTEXT:alt\r\n");
        const QString path = bench.File("vorlage.tdp", old);
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
        kqtest::FillFields(*form, {QString(4000, u'n')});
        kqtest::ModalWatcher watcher;
        {
            const FileSizeLimit diskFull(1000);
            bench.Run(IdSaveTemplate, path);
        }
        bench.Run(IdSaveTemplate, bench.folder.filePath("fehlt/vorlage.tdp"));
        QTRY_COMPARE(watcher.seen, (QStringList{"Die Datei konnte nicht geöffnet werden",
                                                "Die Datei konnte nicht geöffnet werden"}));
        QCOMPARE(bench.frame->StatusText(), QString());
        QCOMPARE(bench.Read(path), old);
        QCOMPARE(QDir(bench.folder.path()).entryList(QDir::Files), QStringList{"vorlage.tdp"});
        QCOMPARE(bench.frame->LastTemplatePath(), QString());
        QCOMPARE(ProfileSettings::ReadString("Template", "Directory"), QString());
    }

    // The folders: templates start in the documents folder and then propose the
    // last template; data lists propose the folder and kind of the last one.
    void theFoldersAreRemembered() {
        FileBench bench;
        const QString documents = DocumentsFolder();
        const QString folder = bench.folder.path() + '/';
        bench.Run(IdLoadTemplate, QString());
        bench.Run(IdLoadDataList, QString());
        kqtest::ChooseRecordForm(*bench.frame, kViewText);
        kqtest::FillFields(*bench.Form(), {"x"});
        bench.Run(IdSaveTemplate, bench.File("a.tdp"));
        bench.Run(IdSaveTemplate, QString());
        bench.Run(IdLoadTemplate, QString());
        bench.Run(IdLoadDataList, bench.File("liste.csv", "TEXT;\r\nx\r\n"));
        bench.Run(IdLoadDataList, QString());
        bench.Run(IdLoadDataList, bench.File("liste.txt", "TEXT\r\nx"));
        bench.Run(IdLoadDataList, QString());

        QStringList proposed;
        for (const FileDialogRequest& r : std::as_const(bench.requests))
            proposed << QString("%1 %2 %3 %4")
                            .arg(r.mode == FileDialogRequest::Save ? "save" : "open", r.proposedPath,
                                 r.defaultSuffix)
                            .arg(r.selectedFilter);
        QCOMPARE(proposed, (QStringList{
                               "open " + documents + "*.tdp tdp 0",
                               "open " + documents + "*.txt txt 0",
                               "save " + documents + "*.tdp tdp 0",
                               "save " + folder + "a.tdp tdp 0",
                               "open " + folder + "*.tdp tdp 0",
                               "open " + documents + "*.txt txt 0",
                               "open " + folder + "*.csv csv 1",
                               "open " + folder + "*.csv csv 1",
                               "open " + folder + "*.txt txt 0",
                           }));
        QCOMPARE(bench.requests[0].filters, QStringList{"NFC-Daten Vorlage (*.tdp *.TDP)"});
        QCOMPARE(bench.requests[1].filters,
                 (QStringList{"Textdateien (*.txt *.TXT)", "CSV-Dateien (*.csv *.CSV)"}));
        QCOMPARE(ProfileSettings::ReadInt("UserdataList", "CSV-File", -1), 0);
    }

    // "Vorlage speichern" only for a record form, and none of the three commands
    // while a cyclic job runs.
    void theCommandsAreEnabledForRecordFormsOnly() {
        FileBench bench;
        bench.frame->SwitchView(kViewDefault);
        bench.frame->UpdateCommandUi();
        QVERIFY(!bench.frame->Action(IdSaveTemplate)->isEnabled());
        QVERIFY(bench.frame->Action(IdLoadTemplate)->isEnabled());
        kqtest::ChooseRecordForm(*bench.frame, kViewMail);
        QVERIFY(bench.frame->Action(IdSaveTemplate)->isEnabled());
        bench.frame->Action(IdCyclicRead)->trigger();
        for (int id : {IdSaveTemplate, IdLoadTemplate, IdLoadDataList})
            QVERIFY(!bench.frame->Action(id)->isEnabled());
        bench.frame->Action(IdCyclicRead)->trigger();
    }

    // Data lists: the extension chooses CSV or TXT in any letter case, the header's
    // keyword in any letter case chooses the form, its last character the separator;
    // Windows-1252 and UTF-8 with a byte order mark are read, LF line ends too.
    void dataListsChooseTheirForm_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("viewId");
        QTest::addColumn<QStringList>("firstRow");
        QTest::newRow("list.CsV is CSV")
            << "list.CsV" << QByteArray("sms;\r\na;1;b\r\n") << int(kViewSms) << QStringList{"a", "1", "b"};
        QTest::newRow("list.dat is TXT")
            << "list.dat" << QByteArray("Telephon\r\na|1;;") << int(kViewTelephon) << QStringList{"a", "1"};
        QTest::newRow("a header without separator")
            << "t.csv" << QByteArray("TEXT\r\nxyzT\r\n") << int(kViewText) << QStringList{"xyz"};
        QTest::newRow("blanks after the separator") << "t.csv" << QByteArray("MAIL|  \t\r\n|x|y|z\r\n")
                                                    << int(kViewMail) << QStringList{"", "x", "y", "z"};
        QTest::newRow("Windows-1252") << "t.csv"
                                      << QByteArray("TEXT;\r\nGr\xFC\xDF"
                                                    "e \x80\r\n")
                                      << int(kViewText) << QStringList{"Grüße €"};
        QTest::newRow("UTF-8 with byte order mark")
            << "t.txt" << QByteArray("\xEF\xBB\xBFTEXT\r\nGrüße;;") << int(kViewText) << QStringList{"Grüße"};
        QTest::newRow("CR line ends") << "t.csv" << QByteArray("SMS;\r;1;\"a\rb\"\r;2;c\r") << int(kViewSms)
                                      << QStringList{"", "1", "a\r\nb"};
        QTest::newRow("CR and CR LF line ends mixed")
            << "t.csv" << QByteArray("SMS;\r;1;\"a\rb\"\r\n;2;c\r\n") << int(kViewSms)
            << QStringList{"", "1", "a\r\nb"};
        QTest::newRow("LF line ends") << "t.csv" << QByteArray("SMS;\n;1;\"a\nb\"\n;2;c\n") << int(kViewSms)
                                      << QStringList{"", "1", "a\r\nb"};
        QTest::newRow("web addresses, a lone first column is the address")
            << "web.csv" << QByteArray("bookmark;\r\nwww.a.de;\r\n") << int(kViewBookmark)
            << QStringList{"", "www.a.de"};
        QTest::newRow("contacts, TXT with the surname first")
            << "k.txt" << QByteArray("CONTACT\r\nMuster|Max||3|1;;") << int(kViewContact)
            << QStringList{"Max", "Muster", "", "3", "1", "", "", "", ""};
    }
    void dataListsChooseTheirForm() {
        QFETCH(QString, name);
        QFETCH(QByteArray, file);
        QFETCH(int, viewId);
        QFETCH(QStringList, firstRow);
        FileBench bench;
        kqtest::ModalWatcher watcher;
        bench.Run(IdLoadDataList, bench.File(name, file));
        QCOMPARE(watcher.seen, QStringList{});
        QCOMPARE(bench.frame->CurrentViewId(), viewId);
        QCOMPARE(bench.Form()->Row(0), firstRow);
        QCOMPARE(bench.frame->StatusText(), QStringLiteral("Datenliste geladen"));
    }

    // Files that are no data list never write a tag, leave the form as it was and
    // say what is wrong; rows that do not fit are named and passed over.
    void badDataListsSayWhatIsWrong_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("rows"); // -1: the form stays
        const QString invalid = QStringLiteral("Vorlage mit ungültigen Daten.");
        QByteArray junk(4096, '\0');
        for (char& c : junk)
            c = char(QRandomGenerator::global()->bounded(256));
        junk[7] = '\0';
        QByteArray highJunk = junk;
        for (char& c : highJunk)
            c = char(0x80 | (c & 0x7F));
        QTest::newRow("binary junk")
            << "junk.csv" << junk << QStringList{"Die Datei ist keine Textdatei (UTF-8 oder Windows-1252)."}
            << -1;
        QTest::newRow("junk without NUL bytes") << "junk.txt" << highJunk << QStringList{invalid} << -1;
        QTest::newRow("10 MB CSV") << "gross.csv" << QByteArray("TEXT;\r\n") + QByteArray(10 << 20, 'x')
                                   << QStringList{"Die Datei ist zu groß (höchstens 100000 Bytes)."} << -1;
        QTest::newRow("unknown kind")
            << "x.csv" << QByteArray("NOTIZ;\r\na\r\n") << QStringList{invalid} << -1;
        QTest::newRow("a header of blanks")
            << "x.csv" << QByteArray(" \t \r\na\r\n") << QStringList{invalid} << -1;
        QTest::newRow("no line end in a TXT list")
            << "x.txt" << QByteArray("TEXT") << QStringList{invalid} << -1;
        QTest::newRow("a FIFO, which would wait for a writer for ever") // made by the test
            << "fifo.csv" << QByteArray() << QStringList{"Die Datei konnte nicht geöffnet werden"} << -1;
        QTest::newRow("a file that is not there")
            << "fehlt.csv" << QByteArray() << QStringList{"Die Datei konnte nicht geöffnet werden"} << -1;
        QTest::newRow("rows with too many and too few fields")
            << "sms.csv" << QByteArray("SMS;\r\na;1;b;c\r\n;2\r\n\"x;3;y\r\n;4;z;;\r\n")
            << QStringList{"Diese Datensätze der Datenliste wurden übergangen:\n"
                           "Zeile 2: 4 Felder, höchstens 3 erwartet\n"
                           "Zeile 4: Anführungszeichen nicht geschlossen oder falsch gesetzt"}
            << 2;
        QTest::newRow("a list without rows") << "leer.txt" << QByteArray("SMS\r\n||;;\r\n;;")
                                             << QStringList{"Die Datenliste enthält keinen Datensatz."} << 0;
    }
    void badDataListsSayWhatIsWrong() {
        QFETCH(QString, name);
        QFETCH(QByteArray, file);
        QFETCH(QStringList, messages);
        QFETCH(int, rows);
        FileBench bench;
        const kqsim::TagId tag = bench.sim().placeTag(kqtest::BlankNtag213(1));
        const kqsim::Bytes blank = *bench.sim().tagMemory(tag);
        CRecordFormView* form = kqtest::ChooseRecordForm(*bench.frame, kViewText);
        kqtest::FillFields(*form, {"vorher"});
        kqtest::ModalWatcher watcher;
        if (name == "fifo.csv") QCOMPARE(::mkfifo(QFile::encodeName(bench.File(name)).constData(), 0600), 0);
        bench.Run(IdLoadDataList, bench.File(name, file));
        QCOMPARE(watcher.seen, messages);
        if (rows < 0) {
            QCOMPARE(bench.frame->ActiveView(), form);
            QCOMPARE(form->FieldText(0), QStringLiteral("vorher"));
        } else {
            QCOMPARE(bench.Form()->RowCount(), rows);
        }
        QVERIFY(!bench.frame->IsCyclicWriteRunning());
        QTest::qWait(200);
        QCOMPARE(*bench.sim().tagMemory(tag), blank);
    }
};

QTEST_MAIN(TemplateFilesTest)
#include "TemplateFilesTest.moc"
