// The Qt canvas at pixels worked out by hand from GDI's rules, then the desktop program's real
// main window, headless, against mq6-sim on a pseudo-terminal: what this front end adds over the
// portable rules (their own tests are native). Its menu against the Windows utility's resource
// script; the unit found as mq6 finds it; the live readouts at pixels worked out by hand from the
// glyph table, dashes while the unit is gone; a recording with a marker reopened; the setup view's
// controls, file boxes and Set with the bytes the unit got; a firmware update that holds logind's
// inhibitor and keeps the window open until it ends.
#include "desktop/canvas_qt.h"
#include "desktop/client_area_qt.h"
#include "desktop/config_path_linux.h"
#include "desktop/gui_thread_qt.h"
#include "desktop/main_window_qt.h"
#include "desktop/menu_qt.h"
#include "desktop/startup_qt.h"
#include "display/display_thread.h"
#include "display/live_decode.h"
#include "display/recording_view.h"
#include "firmware/job.h"
#include "firmware/test_files.h"
#include "link/link.h"
#include "resources/resource.h"
#include "settings/config.h"
#include "support/sim_process.h"
#include "wbsetup/setup_plot.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>

#include <csignal>
#include <fstream>
#include <poll.h>
#include <regex>
#include <thread>
#include <unistd.h>

namespace {

constexpr int WAIT_MS = 30000;
constexpr QRgb INK = qRgb(32, 32, 32);      // the readouts' text colour
constexpr QRgb BLANK = qRgb(220, 220, 220); // their background

// logind as far as the program asks it: Inhibit hands out the write end of a pipe, whose read end
// sees the end of the file once every copy of the lock is closed.
class FakeLogind : public QDBusVirtualObject {
  public:
    QString introspect(const QString&) const override {
        return {};
    }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != "Inhibit")
            return false;
        int ends[2];
        if (pipe(ends) != 0)
            return false;
        asked =
            message.arguments().first().toString() + " " + message.arguments().last().toString();
        held = ends[0];
        connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
        close(ends[1]);
        return true;
    }
    // True while the lock handed out last is held.
    bool Holding() const {
        pollfd look{held, POLLIN, 0};
        return held >= 0 && poll(&look, 1, 0) == 0;
    }
    QString asked;
    int held = -1;
};

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        // Before the program's window, work handed over by another thread is dropped.
        bool ran = false;
        std::thread([&] { RunOnGuiThread([&] { ran = true; }, false); }).join();
        QCoreApplication::processEvents();
        QVERIFY(!ran);
        // A system bus of the test's own, with logind on it.
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(bus.waitForReadyRead(5000));
        QString address = QString(bus.readLine()).trimmed();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toLocal8Bit());
        QDBusConnection logind = QDBusConnection::connectToBus(address, "logind");
        QVERIFY(logind.registerService("org.freedesktop.login1"));
        QVERIFY(logind.registerVirtualObject("/org/freedesktop/login1", &fake));
        // The tests close and open the window again and again.
        QApplication::setQuitOnLastWindowClosed(false);
        connect(&answerer, &QTimer::timeout, this, &DesktopTest::AnswerBoxes);
        answerer.start(50);
    }
    void cleanupTestCase() {
        bus.kill();
        bus.waitForFinished();
    }
    void init() {
        home = std::make_unique<TempDir>();
        qputenv("XDG_CONFIG_HOME", (home->path + "/config").c_str());
        qputenv("XDG_DATA_HOME", (home->path + "/data").c_str());
        qputenv("MQ6_UNIT_LINK", (home->path + "/no-unit").c_str());
        qunsetenv("MQ6_ALLOW_SAMPLE");
        ResetSettings();
        ResetLinkState();
        notices.clear();
    }
    void cleanup() {
        QVERIFY(QTest::qWaitFor([] { return JobRunning.load() == 0; }, 120000));
        if (window != nullptr)
            Close();
        StopSim(sim);
    }

    // The Qt canvas keeps GDI's conventions, at pixels worked out by hand on an image of green.
    void canvasAsGdiDraws() {
        CreateCanvasFonts();
        static QImage image(200, 100, QImage::Format_RGB32); // outlives a canvas left open
        image.fill(qRgb(0, 255, 0));
        constexpr Colour RED = Rgb(200, 0, 0), BLUE = Rgb(0, 0, 200);
        Canvas* c = nullptr;
        for (const QRegion& shown : {QRegion(0, 0, 40, 30), QRegion()}) {
            c = OpenSurfaceCanvas(image, shown); // fresh: black on white, system font, left
            QVERIFY(CanvasSetTextColour(c, RED) == Rgb(0, 0, 0) &&
                    CanvasSetBackColour(c, BLUE) == Rgb(255, 255, 255) &&
                    CanvasSetFont(c, FONT_OEM_FIXED) == FONT_SYSTEM &&
                    CanvasSetTextAlign(c, ALIGN_CENTRE_TOP) == ALIGN_LEFT_TOP);
            QVERIFY(CanvasPartVisible(c, 40, 0, 60, 10) == shown.isEmpty() &&
                    CanvasPartVisible(c, 30, 20, 50, 40));
            CanvasRectangle(c, 10, 10, 20, 20); // the fresh pen and brush: black 1 wide, white
            CanvasSetBrush(c, BLUE);
            CanvasEllipse(c, 30, 10, 50, 30);
            CanvasSetPen(c, 6, RED);
        }
        CanvasMoveTo(c, 140, 20), CanvasLineTo(c, 160, 20);
        CanvasArc(c, 60, 10, 100, 50, 100, 30, 80, 0);    // 3 o'clock to 12 about (80, 30)
        CanvasArc(c, 110, 10, 130, 30, 130, 20, 130, 20); // the rays coincide: all of it
        CanvasBlockText(c, 10, 60, "\xDB\xDF ");
        int height = 0, average = 0, width = CanvasTextWidth(c, "--");
        CanvasTextMetrics(c, &height, &average);
        CanvasText(c, 60, 60, "--");
        Canvas* off = CanvasOpenOffscreen(c, 140, 60, 180, 90);
        QVERIFY(off != nullptr && CanvasSetFont(off, FONT_SYSTEM) == FONT_OEM_FIXED &&
                CanvasSetTextAlign(off, ALIGN_LEFT_TOP) == ALIGN_CENTRE_TOP);
        CanvasBlockText(off, 150, 70, "\xDB "); // in the target's red on blue
        CanvasCloseOffscreen(off);
        const std::pair<int, bool> opens[] = {{170, true}, {170, false}, {171, true}}; // moved
        for (bool blank = false; auto [at, fresh] : opens) {
            Canvas* layer = CanvasOpenLayer(LAYER_CHART, c, at, 10, at + 20, 30, &blank);
            QVERIFY(layer != nullptr && blank == fresh); // new: a box in its own pen and brush
            fresh ? CanvasRectangle(layer, at, 10, 180, 20) : CanvasCopy(layer, c, at, 10, 190, 30);
            CanvasCloseLayer(layer);
        }
        CanvasRestoreObjects(c), CanvasRectangle(c, 190, 90, 200, 100); // black 1 wide, white
        CloseSurfaceCanvas(c);
        const QRgb K = qRgb(0, 0, 0), W = qRgb(255, 255, 255), R = qRgb(200, 0, 0),
                   B = qRgb(0, 0, 200), G = qRgb(220, 220, 220), N = qRgb(0, 255, 0);
        const int x0 = 60 - width / 2, x1 = x0 + width, y1 = 60 + height; // the text's cell
        const std::vector<std::tuple<int, int, QRgb>> pixels = {
            {10, 15, K},         {19, 15, K},     {20, 15, N},  // box 10 to 20: pen on 10, 20 - 1
            {15, 19, K},         {15, 20, N},     {11, 15, W},  // not on 20; 1 wide, the brush in
            {30, 20, K},         {49, 20, K},     {50, 20, N},  // ellipse 30 to 50 by 10 to 30
            {40, 29, K},         {40, 30, N},     {40, 20, B},  // so too; the brush in
            {97, 26, R},         {62, 26, N},     {62, 33, N},  // arc: at 10 degrees, not 170, 190
            {97, 36, N},         {111, 20, R},    {120, 28, R}, // nor 340; the second all round
            {137, 20, R},        {162, 20, R},    {166, 20, N}, // wide: round, 3 past 140 and 160
            {150, 18, R},        {150, 25, N},    {162, 22, N}, // rows 17 to 22; no square corner
            {17, 71, R},         {18, 65, R},     {18, 66, B},  // 0xDB 10 to 17, 0xDF rows 60-65
            {33, 71, B},         {34, 60, N},     {10, 72, N},  // ' ' to 33, by rows 60 to 71
            {x0, 60, B},         {x0 - 1, 60, N}, {x0, y1, N},  // the text's cell centred on 60
            {x1 - 1, y1 - 1, B}, {x1, 60, N},     {x0, 59, N},  // and its height from 60
            {150, 70, R},        {158, 70, B},    {140, 60, G}, // off-screen at 140, 60: its cells
            {179, 89, G},        {180, 89, N},    {139, 60, N}, // and ground to 180, 90
            {170, 10, K},        {175, 15, W},    {185, 25, G}, // the layer's box and ground
            {190, 95, K},        {195, 95, W},    {199, 99, K}, // the restored pen and brush
        };
        for (auto [x, y, colour] : pixels)
            QCOMPARE(std::tuple(x, y, image.pixel(x, y)), std::tuple(x, y, colour));
    }

    // The same menu as the Windows utility: each popup and item with its caption and accelerator.
    void menuIsTheResourceScripts() {
        Start();
        std::ifstream script(MQ6_SOURCE_DIR "/src/resources/mq6wb.rc");
        std::string line, expected, shown;
        QRegularExpression item("^\\s*(POPUP|MENUITEM) \"([^\"]*)\"");
        while (std::getline(script, line))
            if (auto match = item.match(QString::fromStdString(line)); match.hasMatch())
                expected += match.captured(2).replace("\\t", "|").toStdString() + "\n";
        for (QAction* popup : window->menuBar()->actions()) {
            shown += popup->text().toStdString() + "\n";
            for (QAction* action : popup->menu()->actions())
                if (action->isVisible())
                    shown += (action->text() + (action->shortcut().isEmpty() ? "" : "|") +
                              action->shortcut().toString())
                                 .toStdString() +
                             "\n";
        }
        QCOMPARE(shown, expected);
        // The Windows window's client: 800 by 600 less a 3-pixel frame each side, a 19-pixel
        // caption and a 19-pixel menu bar.
        QCOMPARE(window->windowTitle(), QString("MQ-6 WB Utility"));
        QCOMPARE(window->Client()->size(), QSize(800 - 3 - 3, 600 - 3 - 19 - 19 - 3));
        // Each view shows its own controls and none of another's.
        const std::vector<std::tuple<int, bool, bool>> views = {
            // command, Set MQ-6 shown, Update Firmware shown
            {IDM_FIRMWARE_UPDATE, false, true},
            {IDM_AFR_LAMBDA, false, false},
            {IDM_WB_SETUP, true, false},
            {IDM_LIVE_HISTORY, false, false},
        };
        for (auto [command, set, update] : views) {
            Trigger(command);
            const QByteArray row = "view " + QByteArray::number(command);
            QVERIFY2((Button("Set MQ-6") != nullptr) == set, row);
            QVERIFY2((Field(FIELD_ROW_STOICH) != nullptr) == set, row);
            QVERIFY2((Button("Update Firmware") != nullptr) == update, row);
        }
        // Alt+"?" and Alt+"/" open the About box, wherever the focus is.
        Shortcut(Qt::Key_Question, Qt::AltModifier);
        Shortcut(Qt::Key_Slash, Qt::AltModifier);
        Trigger(IDM_PREFERENCES);
        QTRY_COMPARE(notices, QStringList({"About MQ-6 WB Utility", "About MQ-6 WB Utility",
                                           "Preferences", "1.32"}));
    }

    // The settings file where the XDG base directories put it: a relative XDG_CONFIG_HOME is
    // not one, and HOME's .config stands instead.
    void settingsFileWhereXdgSays() {
        const std::vector<std::tuple<const char*, std::string>> rows = {
            {"/srv/cfg", "/srv/cfg/mq6/MQ-6_Setup.cfg"},
            {"cfg", home->path + "/.config/mq6/MQ-6_Setup.cfg"},
            {nullptr, home->path + "/.config/mq6/MQ-6_Setup.cfg"},
        };
        qputenv("HOME", home->path.c_str());
        for (auto [config, expected] : rows) {
            config == nullptr ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", config);
            BuildDesktopConfigPath();
            QVERIFY2(ConfigPath.data() == expected, ConfigPath.data());
        }
    }

    // --record FILE starts in the AFR and Lambda view recording to FILE (--open-recording FILE is
    // how the review test starts).
    void startArgumentsRecord() {
        sim = StartSim({"--rate", "50"});
        std::string csv = home->path + "/start.csv";
        Start(sim.path, csv);
        QTRY_COMPARE_WITH_TIMEOUT(ViewMode.load(), int32_t(VIEW_AFR_LAMBDA), WAIT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(ReadText(csv).size() > 41, WAIT_MS); // the header and a row
        // The Live History view's chart follows the frames as they come.
        Trigger(IDM_LIVE_HISTORY);
        const QRect chart(80, 60, 600, 320);
        QTest::qWait(500);
        const QImage first = window->Client()->grab(chart).toImage();
        QTRY_VERIFY_WITH_TIMEOUT(window->Client()->grab(chart).toImage() != first, WAIT_MS);
    }

    // The Recording view's input over 80 s of rows by hand, a marker at 40 s: + and - halve and
    // double the span about the middle, the wheel about the pointer once a whole notch has
    // turned; Right and Left move a tenth of the span, the Page keys and the bar's page a span,
    // End and Home to the ends, N to the marker in the middle.
    void reviewKeysWheelAndBar() {
        std::string csv = home->path + "/hand.csv";
        WriteText(csv, "time_s,lambda,afr,lambda_raw,stoich,mark\n0.000,0.80,11.8,0.8000,14.70,\n"
                       "40.000,0.90,13.2,0.9000,14.70,1\n80.000,1.00,14.7,1.0000,14.70,\n");
        Start("", "", csv);
        QTRY_COMPARE_WITH_TIMEOUT(ViewMode.load(), int32_t(VIEW_RECORDING), WAIT_MS);
        QWidget* client = window->Client();
        QScrollBar* bar = client->findChild<QScrollBar*>();
        // A character, a key, half a notch of the wheel at x 380 (HALF) or the bar's page (PAGE),
        // then where the view starts and the span it shows. The second half notch zooms about
        // 56 s at x 380, 300 of 600 columns of 20 s.
        constexpr int HALF = 1, PAGE = 2;
        using enum Qt::Key;
        const std::tuple<int, double, double> rows[] = {
            {'+', 20, 40},          {Key_Right, 24, 40}, {Key_End, 40, 40}, {Key_Home, 0, 40},
            {Key_PageDown, 40, 40}, {Key_Left, 36, 40},  {HALF, 36, 40},    {HALF, 46, 20},
            {'-', 36, 40},          {Key_PageUp, 0, 40}, {PAGE, 40, 40},    {Key_Home, 0, 40},
            {'n', 20, 40},
        };
        for (auto [input, start, span] : rows) {
            QWheelEvent turn({380, 300}, {380, 300}, {}, {0, 60}, Qt::NoButton, Qt::NoModifier,
                             Qt::NoScrollPhase, false);
            if (input == HALF)
                QApplication::sendEvent(client, &turn);
            else if (input == PAGE)
                bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            else
                input < 128 ? QTest::keyClick(client, char(input))
                            : QTest::keyClick(client, Qt::Key(input));
            QVERIFY2(std::abs(ReviewStart() - start) < 0.01 && std::abs(ReviewSpan() - span) < 0.01,
                     qPrintable(QString("%1 %2").arg(ReviewStart()).arg(ReviewSpan())));
        }
        // The bar shows where the view is: 20 s, the middle of the 0 to 40 s it may start at.
        QCOMPARE(bar->value() * 2, bar->maximum());
        // The pointer puts the cursor's line down its column (40.67 s, where no grid line is).
        const QImage before = client->grab().toImage();
        QTest::mouseMove(client, {390, 300});
        QTRY_VERIFY(std::ranges::all_of(std::array{100, 200, 330}, [&](int y) {
            return client->grab().toImage().pixel(390, y) != before.pixel(390, y);
        }));
    }

    // Without --port, the unit behind the udev rule's link is found and read, its setup shown.
    void foundByItsLinkAndRead() {
        sim = StartSim({});
        qputenv("MQ6_UNIT_LINK", sim.path.c_str());
        Start();
        QVERIFY(WaitForUnit());
        QCOMPARE(QString(CopyPortName().data()), QString::fromStdString(sim.path));
        QVERIFY(Has(ReadText(home->path + "/config/mq6/MQ-6_Setup.cfg"), "[AUTOPORT] 1"));
        QTRY_COMPARE(FieldText(FIELD_ROW_STOICH), QString("14.70"));
        // Comm Port Setup: the fixed port, the list's entry for the unit (AnswerBoxes picks it).
        StorePortName("/dev/ttyS9");
        Trigger(IDM_COMM_SETUP);
        QTRY_COMPARE(notices, QStringList({"Comm Port Setup"}));
        QCOMPARE(QString(CopyPortName().data()), QString::fromStdString(sim.path));
        QVERIFY(Has(ReadText(home->path + "/config/mq6/MQ-6_Setup.cfg"), "[AUTOPORT] 0"));
    }

    // Options: --help and --version need no display, a missing value is a usage error (2) with
    // or without them, an option of no meaning here is named and passed over.
    void options() {
        const std::vector<std::tuple<QStringList, int, QString>> rows = {
            {{"--version"}, 0, "^mq6wb [0-9]+\\.[0-9]+"},
            {{"--bogus", "-h"}, 0, "--bogus is ignored.*--open-recording FILE"},
            {{"--port"}, 2, "\nmq6wb: --port: no value given\n"},
            {{"--record=", "--help"}, 2, "^mq6wb: --record: no value given\n"},
        };
        for (const auto& [arguments, status, output] : rows) {
            QProcess program;
            program.setProcessChannelMode(QProcess::MergedChannels);
            program.start(MQ6_WB_PATH, arguments);
            QVERIFY(program.waitForFinished(WAIT_MS));
            QString shown = program.readAll();
            QVERIFY2(program.exitCode() == status, qPrintable(arguments.join(" ")));
            QVERIFY2(shown.contains(QRegularExpression(
                         output, QRegularExpression::DotMatchesEverythingOption)),
                     qPrintable(shown));
        }
    }

    // 0.90 at 14.70: the readouts show 13.2 and 0.90, in block cells of 8 by 12 from (80, 434)
    // and (480, 434); gone, the unit's readouts are dashes; back, the digits again.
    void readoutsAtTheirPixelsAndDashesWhileTheUnitIsGone() {
        sim = StartSim({"--profile", "const:0.90", "--reappear-ms", "2500"});
        Start(sim.path);
        QVERIFY(WaitForUnit());
        uint32_t opened = PortOpenings.load();
        Trigger(IDM_AFR_LAMBDA);
        // (x, y) of a cell's middle: x = digit's left + 8 c + 4, y = 434 + 12 r + 6.
        const std::vector<std::tuple<int, int, QRgb>> digits = {
            {100, 440, INK}, {84, 440, BLANK},  // AFR tens "1", row 0 "..###..": cells 2, 0
            {172, 476, INK}, {164, 476, BLANK}, // AFR ones "3", row 3 ".######": cells 1, 0
            {484, 452, INK}, {500, 452, BLANK}, // lambda ones "0", row 1 "##...##": cells 0, 2
            {624, 488, INK}, {584, 488, BLANK}, // lambda tenths "9", row 4 ".....##": cells 5, 0
        };
        const std::vector<std::tuple<int, int, QRgb>> dashes = {
            {492, 476, INK},   // row 3 ".#####.": cell 1
            {484, 452, BLANK}, // where "0" had ink
            {84, 476, BLANK},  // AFR tens, row 3 cell 0
            {92, 476, INK},    // cell 1
        };
        QVERIFY2(QTest::qWaitFor([&] { return Shows(digits); }, WAIT_MS), "13.2 and 0.90");
        QCOMPARE(PortOpenings.load(), opened); // the switch to the view kept the open port
        kill(sim.pid, SIGUSR1); // unplugged once the digits are seen, however slow the start
        QVERIFY2(QTest::qWaitFor([&] { return Shows(dashes); }, WAIT_MS), "dashes");
        QVERIFY2(QTest::qWaitFor([&] { return Shows(digits); }, WAIT_MS), "back");
    }

    // Ctrl+R records from the AFR and Lambda view, F9 marks the next row, Ctrl+R again stops,
    // and Ctrl+L opens the file in the Recording view, which the Display menu then offers.
    void recordingWithAMarkerOpened() {
        sim = StartSim({"--rate", "50"});
        Start(sim.path);
        QVERIFY(WaitForUnit());
        std::string csv = home->path + "/pull.csv";
        files = {QString::fromStdString(csv), QString::fromStdString(csv)};
        Shortcut(Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(ViewMode.load(), int32_t(VIEW_AFR_LAMBDA), WAIT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(LiveFramesGood.load() > 20, WAIT_MS);
        Shortcut(Qt::Key_F9, Qt::NoModifier);
        QTest::qWait(300);
        Shortcut(Qt::Key_R, Qt::ControlModifier);
        Shortcut(Qt::Key_L, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(ViewMode.load(), int32_t(VIEW_RECORDING), WAIT_MS);
        QVERIFY(MenuAction(IDM_RECORDING_VIEW)->isVisible());
        std::string rows = ReadText(csv);
        QVERIFY2(std::regex_search(rows, std::regex("\n[0-9.]+,0\\.[0-9]+,[^\n]*,1\n")),
                 rows.c_str());
    }

    // Read, an edit, Save and Open through the file boxes, then Set MQ-6: the unit holds what the
    // view showed (the restore point of the write is the portable write's, tested natively).
    void setupFilesAndSet() {
        sim = StartSim({});
        Start(sim.path);
        QVERIFY(WaitForUnit());
        QTest::mouseClick(Button("Read MQ-6"), Qt::LeftButton);
        QTRY_COMPARE(FieldText(0), QString("0.0"));
        std::string saved = home->path + "/saved.json", opened = home->path + "/opened.json";
        WriteText(opened, R"({"a1_volts": 1.2, "a2_afr": 18.5, "b_mode": "wb", "b1_afr": 9})");
        // The field takes digits and one point, with a beep for the rest; Tab checks it.
        Field(FIELD_ROW_STOICH)->setFocus();
        Field(FIELD_ROW_STOICH)->selectAll();
        QTest::keyClicks(Field(FIELD_ROW_STOICH), "1a4.5.");
        QCOMPARE(FieldText(FIELD_ROW_STOICH), QString("14.5"));
        QTest::keyClick(Field(FIELD_ROW_STOICH), Qt::Key_Tab);
        QCOMPARE(FieldText(FIELD_ROW_STOICH), QString("14.50"));
        files = {QString::fromStdString(saved), QString::fromStdString(opened)};
        Shortcut(Qt::Key_S, Qt::ControlModifier);
        QVERIFY2(Has(ReadText(saved), "\"stoich_afr\": 14.50"), qPrintable(notices.join("|")));
        Shortcut(Qt::Key_O, Qt::ControlModifier);
        // Channel B's linear layout: its four fields made, and a field typed in again.
        QVERIFY2(QTest::qWaitFor([&] { return FieldText(4) + FieldText(5) == "0.09.00"; }, WAIT_MS),
                 qPrintable(notices.join("|") + texts.join("|")));
        // Typed and not left: Set takes what the field shows.
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        Field(FIELD_ROW_STOICH)->setFocus();
        Field(FIELD_ROW_STOICH)->selectAll();
        QTest::keyClicks(Field(FIELD_ROW_STOICH), "14.5");
        QTest::mouseClick(Button("Set MQ-6"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(JobRunning.load() == 0, WAIT_MS);
        QTest::mouseClick(Button("Read MQ-6"), Qt::LeftButton);
        // 14.50 (05 AA), B linear (02), two zeros, Medium twice, A 1.2 V and 5.0 V at 10.00 and
        // 18.50, B 0.0 V and 5.0 V at 9.00 and 20.00, offset 128.
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&DeviceInfo[4]), 20).toHex(' '),
                 QByteArray("05 aa 02 00 00 40 40 0c 32 03 e8 07 3a 00 32 03 84 07 d0 80"));
    }

    // An update of a unit one version behind: the window stays open and its menus locked while it
    // runs, logind's sleep and shutdown lock is held until it ends, and a close asked for meanwhile
    // closes the window once it has.
    void firmwareUpdateHoldsTheSystemAndTheWindow() {
        sim = StartSim({"--version", "1.00"});
        Start(sim.path);
        QVERIFY(WaitForUnit());
        Trigger(IDM_FIRMWARE_UPDATE);
        QPushButton* update = Button("Update Firmware");
        QTRY_VERIFY_WITH_TIMEOUT(update->isEnabled(), WAIT_MS);
        QTest::keyClick(window->Client(), Qt::Key_U, Qt::AltModifier); // as the button's letter
        QTRY_VERIFY_WITH_TIMEOUT(fake.Holding(), WAIT_MS);
        QCOMPARE(fake.asked, QString("sleep:shutdown block"));
        QVERIFY(!MenuAction(IDM_EXIT)->isEnabled() && !MenuAction(IDM_AFR_LAMBDA)->isEnabled());
        QVERIFY(!window->close());
        QVERIFY(window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 60000);
        QVERIFY(!fake.Holding());
        QVERIFY2(notices.isEmpty(), qPrintable(texts.join("|")));
    }

  private:
    // As with --port, --record and --open-recording, each when not empty.
    void Start(std::string port = "", std::string record = "", std::string openRecording = "") {
        const DesktopArguments arguments{port, record, openRecording};
        window = StartDesktop(arguments);
        QVERIFY(window != nullptr);
        ApplyDesktopArguments(arguments);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
    }
    void Close() {
        window->close();
        FinishDesktop();
        delete std::exchange(window, nullptr);
    }
    // A key of the window's, as the keyboard gives it to the window that the user has in front.
    void Shortcut(Qt::Key key, Qt::KeyboardModifiers modifiers) {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, key, modifiers);
    }
    bool WaitForUnit() {
        return QTest::qWaitFor([] { return PortStatus.load() == 1 && DeviceDataValid.load() == 1; },
                               WAIT_MS);
    }
    void Trigger(int command) {
        MenuAction(command)->trigger();
    }
    // The setup view's field of FieldLayout's row, as placed.
    QLineEdit* Field(int row) {
        for (QLineEdit* field : window->Client()->findChildren<QLineEdit*>())
            if (field->isVisible() && field->x() == FieldLayout[row].x &&
                field->y() == FieldLayout[row].y)
                return field;
        return nullptr;
    }
    // Its text; empty while the view has no such field.
    QString FieldText(int row) {
        QLineEdit* field = Field(row);
        return field != nullptr ? field->text() : QString();
    }
    QPushButton* Button(const QString& caption) {
        for (QPushButton* button : window->Client()->findChildren<QPushButton*>())
            if (button->text() == caption && button->isVisible())
                return button;
        return nullptr;
    }
    bool Shows(const std::vector<std::tuple<int, int, QRgb>>& pixels) {
        QImage shown = window->Client()->grab().toImage();
        for (auto [x, y, colour] : pixels)
            if (shown.pixel(x, y) != colour)
                return false;
        return true;
    }
    // The boxes the program opens: a file box takes the next file, a message box is read and
    // closed, the About box closed.
    void AnswerBoxes() {
        QWidget* box = QApplication::activeModalWidget();
        if (auto* chooser = qobject_cast<QFileDialog*>(box); chooser != nullptr) {
            // A box is given its file once; while it stays open (its accept still on its way, or
            // its list not yet read) it is given the same file again.
            if (chooser != answered) {
                answered = chooser;
                if (files.isEmpty()) {
                    notices << "a file box with no file to give";
                    QMetaObject::invokeMethod(chooser, "reject", Qt::QueuedConnection);
                    return;
                }
                answer = files.takeFirst();
                tries = 0;
            }
            // One that will not take its file fails the test rather than hanging it.
            if (++tries > 600) {
                notices << chooser->windowTitle() + " did not take " + answer + " in " +
                               chooser->directory().path() + ", gave " +
                               chooser->selectedFiles().join(",");
                QMetaObject::invokeMethod(chooser, "reject", Qt::QueuedConnection);
                return;
            }
            // Typed into the name field, as a user does: selectFile alone can wait for the
            // folder's listing.
            if (auto* name = chooser->findChild<QLineEdit*>("fileNameEdit"); name != nullptr)
                name->setText(answer);
            chooser->selectFile(answer);
            QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
        } else if (auto* message = qobject_cast<QMessageBox*>(box); message != nullptr) {
            notices << message->windowTitle();
            texts << message->text();
            message->done(message->defaultButton() != nullptr
                              ? message->standardButton(message->defaultButton())
                              : QMessageBox::Ok);
        } else if (auto* dialog = qobject_cast<QDialog*>(box); dialog != nullptr) {
            notices << dialog->windowTitle();
            if (!PlacedAsScript(dialog))
                notices << "not placed as the resource script places it";
            // Preferences: a target typed past the scale's end, then left, shows the end.
            QList<QLineEdit*> targets = dialog->findChildren<QLineEdit*>();
            if (dialog->windowTitle() == "Preferences") {
                targets[0]->setText("2");
                QFocusEvent left(QEvent::FocusOut, Qt::TabFocusReason);
                QApplication::sendEvent(targets[0], &left);
                notices << targets[0]->text();
            } else if (auto* list = dialog->findChild<QComboBox*>(); list != nullptr) {
                dialog->findChildren<QRadioButton*>().last()->click();
                list->setCurrentIndex(0);
                dialog->findChildren<QPushButton*>().first()->click();
                return;
            }
            dialog->reject();
        }
    }
    // Whether the dialog's controls stand where the resource script's dialog of the same caption
    // puts them: x, y, width and height in pixels from its dialog units, 3/2 of a pixel across
    // and 13/8 down, the size first. A drop-down's height in the script is its open list; closed,
    // it stands 13 units high as Windows draws it. The DEFPUSHBUTTON alone is a default button.
    static bool PlacedAsScript(QDialog* dialog) {
        std::ifstream script(MQ6_SOURCE_DIR "/src/resources/mq6wb.rc");
        std::string line, statement;
        bool inside = false;
        while (std::getline(script, line) && !(inside && line == "END"))
            if (line.find(" DIALOGEX ") != std::string::npos)
                statement = line;
            else if (line == "CAPTION \"" + dialog->windowTitle().toStdString() + "\"")
                inside = true;
            else if (inside && line.rfind("    ", 0) == 0 && line.find("//") == std::string::npos)
                statement += (line[4] != ' ' ? "\n" : "") + line;
        statement = std::regex_replace(statement + "\n", std::regex("\"[^\"]*\""), "");
        std::vector<std::array<int, 5>> expected,
            shown = {{0, 0, dialog->width(), dialog->height(), 0}};
        std::smatch at;
        std::regex place("([A-Z]+)\\s[^\n]*?(\\d+), *(\\d+), *(\\d+), *(\\d+)");
        for (auto from = statement.cbegin(); std::regex_search(from, statement.cend(), at, place);
             from = at.suffix().first)
            expected.push_back(
                {std::stoi(at[2]) * 3 / 2, std::stoi(at[3]) * 13 / 8, std::stoi(at[4]) * 3 / 2,
                 (at[1] == "COMBOBOX" ? 13 : std::stoi(at[5])) * 13 / 8, at[1] == "DEFPUSHBUTTON"});
        for (QWidget* control : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            shown.push_back({control->x(), control->y(), control->width(), control->height(),
                             control->property("default").toInt()});
        std::sort(expected.begin() + 1, expected.end());
        std::sort(shown.begin() + 1, shown.end());
        return expected == shown;
    }

    QProcess bus;
    FakeLogind fake;
    QTimer answerer;
    QPointer<QFileDialog> answered;
    QString answer;
    int tries = 0;
    std::unique_ptr<TempDir> home;
    SimProcess sim;
    MainWindowQt* window = nullptr;
    QStringList files, notices, texts;
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
