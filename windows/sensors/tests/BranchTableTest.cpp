// Every row of the windows' branch table in simulator/RIG.md holds in the
// default rig, and every branch has a row: the voltage windows, and the
// single-value sensor and counting input windows, each of whose channels in
// the default rig also opens its window.
#include "WindowLogic.h"
#include "WindowRegistry.h"
#include "WindowTestSupport.h"

#include "MotionLogic.h"

#include <tindrelsim.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace tindrel;
using namespace tindrel::testing;

namespace {

struct Row {
    QString window, branch, rigId;
};

QList<Row> branchRows(const char *section = "Voltage input and voltage ratio windows")
{
    QFile file(QStringLiteral(TINDREL_RIG_MD));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<Row> rows;
    bool inSection = false;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("#")))
            inSection = line.contains(QLatin1String(section));
        const QStringList cells = line.split(QLatin1Char('|'));
        if (!inSection || cells.size() != 5 || cells.at(1).trimmed() == QStringLiteral("window") ||
            cells.at(1).trimmed().startsWith(QStringLiteral("---")))
            continue;
        rows.append({cells.at(1).trimmed(), cells.at(2).trimmed(), cells.at(3).trimmed()});
    }
    return rows;
}

const QStringList windowClasses = {"PressureSensor", "HumiditySensor",  "LightSensor",       "SoundSensor",
                                   "PHSensor",       "ResistanceInput", "TemperatureSensor", "DistanceSensor",
                                   "CurrentInput",   "Encoder",         "FrequencyCounter",  "CapacitiveTouch"};

QJsonArray rigDevices()
{
    return QJsonDocument::fromJson(QByteArray(TindrelSim_defaultRigText())).object().value("devices").toArray();
}

QJsonObject rigDevice(const QString &id)
{
    const auto rig = QJsonDocument::fromJson(QByteArray(TindrelSim_defaultRigText())).object();
    for (const auto &d : rig.value(QStringLiteral("devices")).toArray())
        if (d.toObject().value(QStringLiteral("id")).toString() == id)
            return d.toObject();
    return {};
}

// The channels of a device of one class, with their rig records.
QList<QJsonObject> channelsOf(const QJsonObject &device, const QString &cls)
{
    QList<QJsonObject> out;
    for (const auto &c : device.value(QStringLiteral("channels")).toArray())
        if (c.toObject().value(QStringLiteral("class")).toString() == cls)
            out.append(c.toObject());
    return out;
}

// Opens a window on one channel of a rig device as the panel does: aimed at
// the device's serial number (its hub's, with the port, on a hub port).
std::unique_ptr<ExampleWindow> openOnRigDevice(Surroundings &s, const WindowRegistry::Entry &entry,
                                               const QJsonObject &device, int channelIndex)
{
    const bool onHub = device.contains("parent");
    const int serial =
        onHub ? rigDevice(device.value("parent").toString()).value("serial").toInt() : device.value("serial").toInt();
    s.aimAt(serial, channelIndex);
    if (onHub)
        s.defaults().setValue("v", device.value("hubPort").toInt());
    std::unique_ptr<ExampleWindow> w(entry.make());
    w->setUp(s.env());
    return w;
}

// A board with a motor, whose encoder counts the motor's shaft.
bool hasMotor(const QJsonObject &device)
{
    return !channelsOf(device, QStringLiteral("DCMotor")).isEmpty() ||
           !channelsOf(device, QStringLiteral("BLDCMotor")).isEmpty();
}

int number(const QString &text, const char *after)
{
    const auto m = QRegularExpression(QString::fromLatin1(after) + QStringLiteral(" (\\d+)")).match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

}   // namespace

class VoltageRigTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(TindrelSim_loadDefaultRig(), TINDREL_OK); }

    void everyRowHoldsInTheDefaultRig()
    {
        const QList<Row> rows = branchRows();
        QVERIFY(rows.size() >= 18);
        for (const Row &row : rows) {
            const QJsonObject device = rigDevice(row.rigId);
            QVERIFY2(!device.isEmpty(), qPrintable(row.rigId));
            const bool ratio = row.window == QStringLiteral("VoltageRatio");
            const QString cls = ratio ? QStringLiteral("VoltageRatioInput") : QStringLiteral("VoltageInput");
            const auto channels = channelsOf(device, cls);
            QVERIFY2(!channels.isEmpty(), qPrintable(row.rigId));
            const int deviceId = device.value(QStringLiteral("deviceId")).toInt();
            const QByteArray id = row.rigId.toUtf8();
            const auto simCls = ratio ? TINDREL_CHCLASS_VOLTAGERATIOINPUT : TINDREL_CHCLASS_VOLTAGEINPUT;
            const auto hasSubclass = [&](int sub) {
                for (const auto &c : channels)
                    if (c.value(QStringLiteral("subclass")).toInt(1) == sub)
                        return true;
                return false;
            };
            const QString what = row.branch + QStringLiteral(" on ") + row.rigId;
            if (const int wanted = number(row.branch, "device ID"); wanted >= 0)
                QVERIFY2(deviceId == wanted, qPrintable(what));
            if (row.branch.contains(QStringLiteral("other device")))
                QVERIFY2(deviceId != 24, qPrintable(what));
            if (const int sub = number(row.branch, "subclass"); sub >= 0)
                QVERIFY2(hasSubclass(sub), qPrintable(what));
            if (row.branch.contains(QStringLiteral("other subclass")))
                QVERIFY2(hasSubclass(1), qPrintable(what));
            if (const int code = number(row.branch, "range code"); code >= 0) {
                double value = 0;
                QCOMPARE(TindrelSim_getPropertyValue(id.constData(), simCls, 0, "VoltageRange", &value), TINDREL_OK);
                QVERIFY2(static_cast<int>(value) == code, qPrintable(what));
            }
            if (row.branch.contains(QStringLiteral("equal minimum and maximum"))) {
                const QString trigger =
                    ratio ? QStringLiteral("VoltageRatioChangeTrigger") : QStringLiteral("VoltageChangeTrigger");
                bool found = false;
                for (const auto &c : channels) {
                    const auto range = c.value(QStringLiteral("ranges")).toObject().value(trigger).toArray();
                    found |= range.size() == 2 && range.at(0).toDouble() == range.at(1).toDouble();
                }
                QVERIFY2(found, qPrintable(what));
            }
        }
        // Every branch of both windows is listed.
        QStringList branches;
        for (const Row &row : rows)
            branches << row.window + QLatin1Char(':') + row.branch;
        for (int dev : {6, 7, 42, 45, 51, 97})
            QVERIFY(branches.contains(QStringLiteral("VoltageInput:sensor port, device ID %1").arg(dev)));
        for (int dev : {49, 92, 93, 94})
            QVERIFY(branches.filter(QStringLiteral("VoltageInput:voltage range, device ID %1,").arg(dev)).size() == 1);
        QVERIFY(branches.contains(QStringLiteral("VoltageInput:power supply, device ID 55")));
        QVERIFY(branches.contains(QStringLiteral("VoltageRatio:bridge, subclass 65, device ID 24")));
        QVERIFY(branches.contains(QStringLiteral("VoltageRatio:bridge, subclass 65, other device")));
        QVERIFY(branches.contains(QStringLiteral("VoltageRatio:sensor port, subclass 64")));
    }

    void sensorAndCountingRowsHoldInTheDefaultRig()
    {
        const QList<Row> rows = branchRows("Single-value sensor and counting input windows");
        QVERIFY(rows.size() >= 24);
        QMap<QString, QList<int>> namedIds;   // device IDs a window's rows name
        for (const Row &row : rows)
            if (const int id = number(row.branch, "device ID"); id >= 0)
                namedIds[row.window].append(id);
        for (const Row &row : rows) {
            const QString what = row.window + QStringLiteral(": ") + row.branch + QStringLiteral(" on ") + row.rigId;
            QVERIFY2(windowClasses.contains(row.window), qPrintable(what));
            const QJsonObject device = rigDevice(row.rigId);
            QVERIFY2(!device.isEmpty(), qPrintable(what));
            const auto channels = channelsOf(device, row.window);
            QVERIFY2(!channels.isEmpty(), qPrintable(what));
            const int deviceId = device.value("deviceId").toInt();
            if (const int wanted = number(row.branch, "device ID"); wanted >= 0)
                QVERIFY2(deviceId == wanted, qPrintable(what));
            if (row.branch.contains(QStringLiteral("other device")))
                QVERIFY2(!namedIds.value(row.window).contains(deviceId), qPrintable(what));
            const auto hasSubclass = [&](auto pred) {
                for (const auto &c : channels)
                    if (pred(c.value("subclass").toInt(1)))
                        return true;
                return false;
            };
            if (const int sub = number(row.branch, "subclass"); sub >= 0)
                QVERIFY2(hasSubclass([sub](int s) { return s == sub; }), qPrintable(what));
            if (row.branch.contains(QStringLiteral("other subclass")))
                QVERIFY2(hasSubclass([](int s) { return s != 32 && s != 33; }), qPrintable(what));
            if (row.branch.contains(QStringLiteral("motor shaft"))) {
                // The encoder counts the shaft of the motor on the same board.
                QVERIFY2(hasMotor(device), qPrintable(what));
                for (const auto &c : channels)
                    QVERIFY2(!c.contains(QStringLiteral("behaviour")), qPrintable(what));
            }
            if (row.branch.contains(QStringLiteral("equal minimum and maximum"))) {
                bool found = false;
                for (const auto &c : channels) {
                    const auto range =
                        c.value("ranges")
                            .toObject()
                            .value(row.window == "TemperatureSensor" ? QStringLiteral("TemperatureChangeTrigger")
                                                                     : QString())
                            .toArray();
                    found |= range.size() == 2 && range.at(0).toDouble() == range.at(1).toDouble();
                }
                QVERIFY2(found, qPrintable(what));
            }
        }
        QStringList branches;
        for (const Row &row : rows)
            branches << row.window + QLatin1Char(':') + row.branch;
        const auto listed = [&](const QString &window, const QString &part) {
            return !branches.filter(QRegularExpression(QStringLiteral("^") + window + QStringLiteral(":.*") + part))
                        .isEmpty();
        };
        for (const QString &window : windowClasses)
            QVERIFY2(!branches.filter(window + QLatin1Char(':')).isEmpty(), qPrintable(window));
        QVERIFY(listed("TemperatureSensor", "subclass 33"));
        QVERIFY(listed("TemperatureSensor", "subclass 32"));
        QVERIFY(listed("TemperatureSensor", "other subclass"));
        QVERIFY(listed("TemperatureSensor", "equal minimum and maximum"));
        QVERIFY(listed("DistanceSensor", "device ID 59"));
        QVERIFY(listed("DistanceSensor", "other device"));
        QVERIFY(listed("CurrentInput", "device ID 55"));
        QVERIFY(listed("CurrentInput", "other device"));
        for (int id : {25, 34, 42, 57, 60})
            QVERIFY2(listed("Encoder", QStringLiteral("device ID %1").arg(id)), qPrintable(QString::number(id)));
        QVERIFY(listed("Encoder", "other device"));
        QVERIFY(listed("Encoder", "motor shaft"));
        QVERIFY(listed("FrequencyCounter", "device ID 55"));
        QVERIFY(listed("FrequencyCounter", "other device"));
        QVERIFY(listed("CapacitiveTouch", "device ID 61"));
        QVERIFY(listed("CapacitiveTouch", "device ID 62"));
        QVERIFY(listed("CapacitiveTouch", "other device"));
    }

    void everySensorAndCountingChannelOpensItsWindow()
    {
        const WindowRegistry registry = WindowRegistry::standard();
        int opened = 0;
        for (const auto &d : rigDevices()) {
            const QJsonObject device = d.toObject();
            if (device.contains("server") || !device.value("present").toBool(true))
                continue;
            for (const auto &c : device.value("channels").toArray()) {
                const QJsonObject channel = c.toObject();
                const QString cls = channel.value("class").toString();
                if (!windowClasses.contains(cls))
                    continue;
                const auto *entry = registry.findWindowForm(cls);
                QVERIFY2(entry, qPrintable(cls));
                Surroundings s;
                auto w = openOnRigDevice(s, *entry, device, channel.value("index").toInt(0));
                const QString what = cls + QStringLiteral(" on ") + device.value("id").toString();
                QVERIFY2(waitAttached(*w, device.value("name").toString()), qPrintable(what));
                QVERIFY2(!w->streams().empty(), qPrintable(what));
                // An encoder on a motor board reports nothing while its motor stands still.
                const bool stillShaft = cls == "Encoder" && hasMotor(device);
                QTRY_VERIFY2_WITH_TIMEOUT(w->streams().front()->eventCount() > 0 || cls == "CapacitiveTouch" ||
                                              stillShaft,
                                          qPrintable(what), deadlineMs);
                for (const auto &stream : w->streams())
                    QVERIFY2(!stream->name().isEmpty(), qPrintable(what));
                QVERIFY2(!w->errorEventLogWindow(), qPrintable(what));
                ++opened;
            }
        }
        QVERIFY(opened >= 25);
    }

    void motionRowsHoldInTheDefaultRig()
    {
        const QList<Row> rows = branchRows("Motion sensing windows");
        QVERIFY(rows.size() >= 7);
        QStringList branches;
        for (const Row &row : rows) {
            const QString what = row.branch + QStringLiteral(" on ") + row.rigId;
            const QJsonObject device = rigDevice(row.rigId);
            QVERIFY2(!device.isEmpty(), qPrintable(what));
            const auto channels = channelsOf(device, row.window);
            QVERIFY2(!channels.isEmpty(), qPrintable(what));
            const int axes = channels.first()
                                 .value(QStringLiteral("properties"))
                                 .toObject()
                                 .value(QStringLiteral("AxisCount"))
                                 .toInt(3);
            const QString sku = device.value(QStringLiteral("sku")).toString();
            if (row.branch.contains(QStringLiteral("three axes")))
                QVERIFY2(axes == 3, qPrintable(what));
            if (row.branch.contains(QStringLiteral("two axes")) || row.branch.contains(QStringLiteral("rate unknown")))
                QVERIFY2(axes == 2, qPrintable(what));
            if (row.branch.contains(QStringLiteral("every rate known")))
                QVERIFY2(axes == 3, qPrintable(what));
            if (row.branch.contains(QStringLiteral("marked gauges")))
                QVERIFY2(tindrel::motion::accelGaugeTypeFor(sku) == 1, qPrintable(what));
            if (row.branch.contains(QStringLiteral("plain gauges")))
                QVERIFY2(tindrel::motion::accelGaugeTypeFor(sku) == 0, qPrintable(what));
            if (const auto m = QRegularExpression(QStringLiteral("product (TDR\\w+)")).match(row.branch); m.hasMatch())
                QVERIFY2(sku == m.captured(1), qPrintable(what));
            branches << row.window + QLatin1Char(':') + row.branch;
        }
        // Both codes of the marked gauges, both axis counts, both gyroscope
        // branches and the other two windows are listed.
        for (const char *code : tindrel::motion::highRangeAccelerometerCodes)
            QVERIFY(branches.filter(QString::fromLatin1(code)).size() == 1);
        QVERIFY(branches.filter(QStringLiteral("Accelerometer:three axes, plain")).size() == 1);
        QVERIFY(branches.filter(QStringLiteral("Accelerometer:two axes")).size() == 1);
        QVERIFY(branches.filter(QStringLiteral("Gyroscope:a rate unknown")).size() == 1);
        QVERIFY(branches.filter(QStringLiteral("Gyroscope:every rate known")).size() == 1);
        QVERIFY(branches.filter(QStringLiteral("Magnetometer:")).size() == 1);
        QVERIFY(branches.filter(QStringLiteral("Spatial:")).size() == 1);
    }

    // The display and bus adapter windows' rows: the device's class, ID and
    // LCD subclass are what each branch needs.
    void displayRowsHoldInTheDefaultRig()
    {
        const QList<Row> rows = branchRows("LED array, LCD and data adapter windows");
        QStringList branches;
        for (const Row &row : rows) {
            branches << row.window + QLatin1Char(':') + row.branch;
            const QJsonObject device = rigDevice(row.rigId);
            QVERIFY2(!device.isEmpty(), qPrintable(row.rigId));
            const QString what = row.branch + QStringLiteral(" on ") + row.rigId;
            const QString cls = row.window == QStringLiteral("LEDArray")      ? QStringLiteral("LEDArray")
                                : row.window == QStringLiteral("DataAdapter") ? QStringLiteral("DataAdapter")
                                                                              : QStringLiteral("LCD");
            const auto channels = channelsOf(device, cls);
            QVERIFY2(!channels.isEmpty(), qPrintable(what));
            const int deviceId = device.value(QStringLiteral("deviceId")).toInt();
            const int subclass = channels.first().value(QStringLiteral("subclass")).toInt(1);
            if (row.branch.contains(QStringLiteral("other device ID than"))) {
                // Every ID the branch names is one the device must not have.
                auto ids = QRegularExpression(QStringLiteral("\\d+")).globalMatch(row.branch);
                QVERIFY2(ids.hasNext(), qPrintable(what));
                while (ids.hasNext())
                    QVERIFY2(deviceId != ids.next().captured().toInt(), qPrintable(what));
            } else if (const int id = number(row.branch, "device ID"); id >= 0)
                QVERIFY2(deviceId == id, qPrintable(what));
            if (const int other = number(row.branch, "another subclass than"); other >= 0)
                QVERIFY2(subclass != other, qPrintable(what));
            else if (const int sub = number(row.branch, "subclass"); sub >= 0)
                QVERIFY2(subclass == sub, qPrintable(what));
            // The text window is the one for subclass 81, the graphic one for the rest.
            if (cls == QStringLiteral("LCD"))
                QVERIFY2((subclass == 81) == (row.window == QStringLiteral("TextLCD")), qPrintable(what));
        }
        for (const char *b :
             {"LEDArray:LED array channel", "TextLCD:screen size and initialize, device ID 46",
              "TextLCD:no screen size, other device ID than 46", "GraphicLCD:LCD of another subclass than 81",
              "DataAdapter:SPI, device ID 160", "DataAdapter:I2C, device ID 134",
              "DataAdapter:nothing sent, other device ID than 134 and 160"})
            QVERIFY2(branches.contains(QString::fromLatin1(b)), b);
    }

    // Every LED array, LCD and data adapter channel of the rig opens the
    // window the panel picks for it, which attaches without an error.
    void everyDisplayAndAdapterChannelOpensItsWindow()
    {
        const WindowRegistry registry = WindowRegistry::standard();
        QSet<QString> windows;
        int opened = 0;
        for (const auto &d : rigDevices()) {
            const QJsonObject device = d.toObject();
            if (device.contains("server") || !device.value("present").toBool(true))
                continue;
            for (const auto &c : device.value("channels").toArray()) {
                const QJsonObject channel = c.toObject();
                const QString cls = channel.value("class").toString();
                if (cls != "LEDArray" && cls != "LCD" && cls != "DataAdapter")
                    continue;
                const QString name = cls == "LCD"
                                         ? windowNameForChannel(QStringLiteral("TindrelLCD"), TINDREL_CHCLASS_LCD,
                                                                channel.value("subclass").toInt(1))
                                         : cls;
                const auto *entry =
                    registry.findWindowForm(name) ? registry.findWindowForm(name) : registry.findViewForm(name);
                QVERIFY2(entry, qPrintable(name));
                const int first = channel.value("index").toInt(0);
                for (int index = first; index < first + channel.value("count").toInt(1); ++index) {
                    Surroundings s;
                    auto w = openOnRigDevice(s, *entry, device, index);
                    const QString what = name + QStringLiteral(" on ") + device.value("id").toString() +
                                         QStringLiteral(" channel ") + QString::number(index);
                    QVERIFY2(waitAttached(*w, device.value("name").toString()), qPrintable(what));
                    QVERIFY2(!w->errorEventLogWindow(), qPrintable(what));
                    windows.insert(name);
                    ++opened;
                }
            }
        }
        QCOMPARE(windows, (QSet<QString>{"LEDArray", "TextLCD", "GraphicLCD", "DataAdapter"}));
        QVERIFY(opened >= 8);
    }

    // The communication windows' rows: each names a rig device with a
    // channel of the window's class that reaches the branch.
    void communicationRowsHoldInTheDefaultRig()
    {
        const QList<Row> rows = branchRows("IR, RFID and GPS windows");
        QVERIFY(rows.size() >= 7);
        QStringList branches;
        QSet<QString> listed;
        for (const Row &row : rows) {
            const QJsonObject device = rigDevice(row.rigId);
            const QString what = row.branch + QStringLiteral(" on ") + row.rigId;
            QVERIFY2(!device.isEmpty(), qPrintable(what));
            const auto channels = channelsOf(device, row.window);
            QVERIFY2(!channels.isEmpty(), qPrintable(what));
            const int deviceId = device.value(QStringLiteral("deviceId")).toInt();
            if (const int wanted = number(row.branch, "device ID"); wanted >= 0)
                QVERIFY2(deviceId == wanted, qPrintable(what));
            if (row.branch.startsWith(QStringLiteral("other device ID")))
                QVERIFY2(deviceId != 13 && deviceId != 14, qPrintable(what));
            if (row.branch.contains(QStringLiteral("hears its own transmitter")))
                QVERIFY2(channels.first().value(QStringLiteral("hearsOwnSignal")).toBool(), qPrintable(what));
            branches << row.window + QLatin1Char(':') + row.branch;
            listed.insert(row.rigId);
        }
        for (const char *b : {"RFID:device ID 13, write group hidden", "RFID:device ID 14, write group shown",
                              "RFID:other device ID, write group unchanged",
                              "IR:a code sent by another channel is received and learned",
                              "IR:a transceiver that hears its own transmitter"})
            QVERIFY2(branches.contains(QString::fromLatin1(b)), b);
        // Every local infrared, tag and position channel of the rig is listed.
        const auto rig = QJsonDocument::fromJson(QByteArray(TindrelSim_defaultRigText())).object();
        for (const auto &d : rig.value(QStringLiteral("devices")).toArray()) {
            const QJsonObject device = d.toObject();
            for (const char *cls : {"IR", "RFID", "GPS"})
                if (!channelsOf(device, QString::fromLatin1(cls)).isEmpty())
                    QVERIFY2(listed.contains(device.value(QStringLiteral("id")).toString()),
                             qPrintable(device.value(QStringLiteral("id")).toString()));
        }
    }

    // The single-board computer list's rows name computers of the rig.
    void boardListRowsHoldInTheDefaultRig()
    {
        const QList<Row> rows = branchRows("Single-board computer list");
        const QJsonArray computers =
            QJsonDocument::fromJson(QByteArray(TindrelSim_defaultRigText())).object().value("computers").toArray();
        const auto computer = [&](const QString &id) {
            for (const auto &c : computers)
                if (c.toObject().value(QStringLiteral("id")).toString() == id)
                    return c.toObject();
            return QJsonObject();
        };
        const auto resolves = [](const QJsonObject &c, uint32_t &count) {
            char *addrs[5] = {};
            count = 5;
            const QByteArray host = c.value(QStringLiteral("host")).toString().toUtf8();
            return TindrelNet_getServerAddressList(host.constData(), 2, addrs, &count) == TINDREL_OK;
        };
        QStringList branches;
        for (const Row &row : rows) {
            const QJsonObject c = computer(row.rigId);
            const QString what = row.branch + QStringLiteral(" on ") + row.rigId;
            QVERIFY2(!c.isEmpty(), qPrintable(what));
            const bool board = c.value(QStringLiteral("type")).toInt(2) == TINDRELSERVER_SBC;
            const QJsonObject kv = c.value(QStringLiteral("announce")).toObject();
            const QJsonArray addresses = c.value(QStringLiteral("addresses")).toArray();
            const QByteArray id = row.rigId.toUtf8();
            uint32_t count = 0;
            QVERIFY2(board == (row.branch != QStringLiteral("other server type ignored")), qPrintable(what));
            QVERIFY2(c.value(QStringLiteral("present")).toBool(true), qPrintable(what));
            if (row.branch == QStringLiteral("every announcement key"))
                for (const char *key : {"name", "hversion", "fversion", "hostname"})
                    QVERIFY2(kv.contains(QLatin1String(key)), qPrintable(what));
            if (row.branch == QStringLiteral("no name, hversion or fversion"))
                for (const char *key : {"name", "hversion", "fversion"})
                    QVERIFY2(!kv.contains(QLatin1String(key)), qPrintable(what));
            if (row.branch == QStringLiteral("no hostname"))
                QVERIFY2(!kv.contains(QStringLiteral("hostname")), qPrintable(what));
            if (row.branch == QStringLiteral("duplicate announcement")) {
                int same = 0;
                for (const auto &o : computers)
                    same += o.toObject().value(QStringLiteral("name")) == c.value(QStringLiteral("name"));
                QVERIFY2(same == 2, qPrintable(what));
            }
            if (row.branch.startsWith(QStringLiteral("board that goes away"))) {
                QCOMPARE(TindrelSim_removeServer(id.constData()), TINDREL_OK);
                QVERIFY2(!resolves(c, count), qPrintable(what));
                QCOMPARE(TindrelSim_addServer(id.constData()), TINDREL_OK);
                QVERIFY2(resolves(c, count), qPrintable(what));
            }
            if (row.branch == QStringLiteral("host resolves to several addresses"))
                QVERIFY2(resolves(c, count) && count >= 2, qPrintable(what));
            if (row.branch == QStringLiteral("announced address replaced by the resolved one"))
                QVERIFY2(resolves(c, count) && addresses.size() >= 1 &&
                             addresses.at(0).toString() != c.value(QStringLiteral("address")).toString(),
                         qPrintable(what));
            if (row.branch == QStringLiteral("host does not resolve"))
                QVERIFY2(!resolves(c, count), qPrintable(what));
            if (row.branch == QStringLiteral("name too short for a MAC address"))
                QVERIFY2(c.value(QStringLiteral("name")).toString().size() < 29, qPrintable(what));
            branches << row.branch;
        }
        for (const char *b : {"every announcement key", "no name, hversion or fversion", "no hostname",
                              "duplicate announcement", "board that goes away and comes back",
                              "host resolves to several addresses", "announced address replaced by the resolved one",
                              "host does not resolve", "name too short for a MAC address", "other server type ignored"})
            QVERIFY2(branches.contains(QString::fromLatin1(b)), b);
    }

    // The dictionary window's rows: the rig's dictionaries hold what each
    // branch needs, and the rig names the server's dictionary directory.
    void dictionaryRowsHoldInTheDefaultRig()
    {
        const QList<Row> rows = branchRows("Dictionary window");
        QCOMPARE(rows.size(), 3);
        const auto rig = QJsonDocument::fromJson(QByteArray(TindrelSim_defaultRigText())).object();
        QVERIFY(!rig.value(QStringLiteral("dictionaryDirectory")).toString().isEmpty());
        for (const Row &row : rows) {
            const QString what = row.branch + QStringLiteral(" on ") + row.rigId;
            QCOMPARE(row.window, QStringLiteral("Dictionary"));
            const QJsonObject device = rigDevice(row.rigId);
            const auto channels = channelsOf(device, row.window);
            QVERIFY2(!channels.isEmpty(), qPrintable(what));
            const QJsonObject entries = channels.first().value(QStringLiteral("entries")).toObject();
            if (row.branch.startsWith(QStringLiteral("keys b, a and B")))
                for (const char *key : {"b", "a", "B"})
                    QVERIFY2(entries.contains(QLatin1String(key)), qPrintable(what));
            if (row.branch.startsWith(QStringLiteral("more keys than one scan"))) {
                qsizetype bytes = 0;
                for (const QString &key : entries.keys())
                    bytes += key.toUtf8().size() + 1;
                QVERIFY2(bytes > 1024, qPrintable(what));
            }
            if (row.branch.startsWith(QStringLiteral("an empty dictionary on a network server"))) {
                QVERIFY2(entries.isEmpty(), qPrintable(what));
                QVERIFY2(!device.value(QStringLiteral("server")).toString().isEmpty(), qPrintable(what));
            }
        }
    }
};

QTEST_MAIN(VoltageRigTest)
#include "BranchTableTest.moc"
