#include "TindrelInfoBox.h"

#include "AlertService.h"
#include "LibraryError.h"
#include "OpenSettings.h"
#include "WindowEnvironment.h"
#include "WindowLogic.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>

// The product pictures are compiled into this static library; make sure the
// linker keeps them.
static void initPictureResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    (void)done;
}

namespace tindrel {

namespace {

constexpr QSize pictureSize(120, 90);
const QString serialCaption = QStringLiteral("Serial Number:");

QString libraryString(TindrelReturnCode (*getter)(TindrelHandle, const char **), TindrelHandle ch)
{
    const char *text = nullptr;
    getter(ch, &text);
    return text ? QString::fromUtf8(text) : QString();
}

template <class T, class Getter>
T libraryValue(Getter getter, TindrelHandle ch)
{
    T value{};
    getter(ch, &value);
    return value;
}

}   // namespace

TindrelInfoBox::TindrelInfoBox(QWidget *parent)
    : QWidget(parent)
    , deviceTxt(new QLabel(this))
    , versionTxt(new QLabel(this))
    , channelTxt(new QLabel(this))
    , serialNumTxt(new QLabel(this))
    , serialNumLbl(new QLabel(serialCaption, this))
    , hubPortTxt(new QLabel(this))
    , hubPortLbl(new QLabel(QStringLiteral("Hub Port:"), this))
    , remoteLbl(new QLabel(QStringLiteral("Remote"), this))
    , pictureBox(new ScaledPicture(this))
{
    initPictureResources();
    pictureBox->setFixedSize(pictureSize);
    pictureBox->setAlignment(Qt::AlignCenter);
    QFont bold = remoteLbl->font();
    bold.setBold(true);
    remoteLbl->setFont(bold);

    auto *fields = new QGridLayout;
    const std::pair<QLabel *, QLabel *> rows[] = {
        {new QLabel(QStringLiteral("Device:"), this), deviceTxt},
        {new QLabel(QStringLiteral("Version:"), this), versionTxt},
        {serialNumLbl, serialNumTxt},
        {hubPortLbl, hubPortTxt},
        {new QLabel(QStringLiteral("Channel:"), this), channelTxt},
    };
    int row = 0;
    for (const auto &[caption, value] : rows) {
        fields->addWidget(caption, row, 0, Qt::AlignRight);
        fields->addWidget(value, row, 1);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        ++row;
    }
    fields->addWidget(remoteLbl, row, 1);
    fields->setColumnStretch(1, 1);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(pictureBox, 0, Qt::AlignTop);
    layout->addLayout(fields, 1);
    fillTindrelInfo(nullptr);
}

void TindrelInfoBox::fillTindrelInfo(TindrelHandle ch)
{
    if (!ch) {
        deviceTxt->setText(QStringLiteral("Nothing"));
        for (QLabel *l : {versionTxt, channelTxt, serialNumTxt, hubPortTxt})
            l->clear();
        pictureBox->clearPicture();
        hubPortLbl->hide();
        hubPortTxt->hide();
        remoteLbl->hide();
        return;
    }
    channelTxt->setText(QString::number(libraryValue<int>(Tindrel_getChannel, ch)));
    versionTxt->setText(QString::number(libraryValue<int>(Tindrel_getDeviceVersion, ch)));
    const bool onHubPort = libraryValue<int32_t>(Tindrel_getDeviceClass, ch) == TINDREL_DEVCLASS_XLNK;
    deviceTxt->setText(libraryString(Tindrel_getDeviceName, ch));
    serialNumTxt->setText(QString::number(libraryValue<int32_t>(Tindrel_getDeviceSerialNumber, ch)));
    hubPortLbl->setVisible(onHubPort);
    hubPortTxt->setVisible(onHubPort);
    if (onHubPort) {
        serialNumLbl->setText(QStringLiteral("Hub Serial Number: "));
        hubPortLbl->setText(QStringLiteral("Hub Port:"));
        hubPortTxt->setText(QString::number(libraryValue<int>(Tindrel_getHubPort, ch)));
    } else {
        // The caption may still name the hub from an earlier attach.
        serialNumLbl->setText(serialCaption);
    }
    setPicture(ch);
    remoteLbl->setVisible(libraryValue<int>(Tindrel_getIsRemote, ch) != 0);
}

void TindrelInfoBox::setPicture(TindrelHandle ch)
{
    TindrelHandle source = ch;
    if (libraryValue<int>(Tindrel_getIsHubPortDevice, ch) != 0) {
        TindrelHandle hub = nullptr;
        if (Tindrel_getHub(ch, &hub) == TINDREL_OK && hub)
            source = hub;
    }
    pictureBox->clearPicture();
    const QString sku = libraryString(Tindrel_getDeviceSKU, source);
    if (sku.isEmpty())
        return;
    const QPixmap picture(QStringLiteral(":/pictures/") + pictureNameForSku(sku));
    if (picture.isNull())
        return;
    if (QCoreApplication::applicationName() != QLatin1String(controlPanelProcessName))
        QApplication::setWindowIcon(QIcon(picture));
    pictureBox->setPicture(picture.toImage(), pictureSize);
}

void TindrelInfoBox::error(TindrelReturnCode code, AlertService &alerts, QWidget *alertParent)
{
    alerts.showAlert(alertParent, errorMessage(code), QString());
}

bool TindrelInfoBox::openCmdLine(TindrelHandle ch, const WindowEnvironment &env, QWidget *alertParent)
{
    OpenSettings s = readOpenSettings(env.defaults);
    applyArguments(s, env.arguments);

    bool anyFailed = false;
    // Each failure is shown at once, while the calling thread's last error
    // still describes it.
    auto check = [&](TindrelReturnCode rc) {
        if (rc != TINDREL_OK) {
            error(rc, env.alerts, alertParent);
            anyFailed = true;
        }
    };
    auto ascii = [](const QString &text) { return text.toUtf8(); };

    if (s.logFile)
        check(TindrelLog_enable(TINDREL_LOG_INFO, ascii(*s.logFile).constData()));
    if (s.label)
        check(Tindrel_setDeviceLabel(ch, ascii(*s.label).constData()));
    if (s.serverName) {
        check(Tindrel_setServerName(ch, ascii(*s.serverName).constData()));
        if (s.password)
            check(TindrelNet_setServerPassword(ascii(*s.serverName).constData(), ascii(*s.password).constData()));
    }
    check(Tindrel_setChannel(ch, s.channel));
    check(Tindrel_setDeviceSerialNumber(ch, s.librarySerialNumber()));
    check(Tindrel_setHubPort(ch, s.hubPort));
    check(Tindrel_setIsHubPortDevice(ch, s.hubPortDevice ? 1 : 0));

    TindrelReturnCode final = TINDREL_OK;
    if (s.opensRemotely()) {
        check(Tindrel_setIsRemote(ch, 1));
        final = TindrelNet_enableServerDiscovery(TINDRELSERVER_DEVICEREMOTE);
    } else {
        final = Tindrel_setIsLocal(ch, 1);
    }

    bool opened = false;
    if (final != TINDREL_OK) {
        error(final, env.alerts, alertParent);
    } else if (!anyFailed) {
        const TindrelReturnCode rc = Tindrel_open(ch);
        if (rc != TINDREL_OK)
            error(rc, env.alerts, alertParent);
        else
            opened = true;
    }
    if (final != TINDREL_OK || anyFailed) {
        const QString program =
            env.arguments.isEmpty() ? QCoreApplication::applicationFilePath() : env.arguments.first();
        env.alerts.showCritical(alertParent, usageText(program), QString());
    }
    return opened;
}

}   // namespace tindrel
