// Every row of the voltage windows' branch table in simulator/RIG.md holds
// in the default rig, and every branch has a row.
#include <tindrelsim.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

struct Row {
    QString window, branch, rigId;
};

QList<Row> branchRows(const QString &section = QStringLiteral("Voltage input and voltage ratio windows"))
{
    QFile file(QStringLiteral(TINDREL_RIG_MD));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<Row> rows;
    bool inSection = false;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("#")))
            inSection = line.contains(section);
        const QStringList cells = line.split(QLatin1Char('|'));
        if (!inSection || cells.size() != 5 || cells.at(1).trimmed() == QStringLiteral("window") ||
            cells.at(1).trimmed().startsWith(QStringLiteral("---")))
            continue;
        rows.append({cells.at(1).trimmed(), cells.at(2).trimmed(), cells.at(3).trimmed()});
    }
    return rows;
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

    // The communication windows' rows: each names a rig device with a
    // channel of the window's class that reaches the branch.
    void communicationRowsHoldInTheDefaultRig()
    {
        const QList<Row> rows = branchRows(QStringLiteral("IR, RFID and GPS windows"));
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
};

QTEST_MAIN(VoltageRigTest)
#include "tst_voltagerig.moc"
