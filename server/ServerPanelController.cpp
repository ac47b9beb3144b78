#include "ServerPanelController.h"

#include <QCoreApplication>

#include "AlertService.h"
#include "AuthorizationView.h"
#include "DictionaryPanelController.h"
#include "HelperTransport.h"
#include "Paths.h"
#include "ServiceDescription.h"
#include "ServiceState.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tindrel::server {

namespace {

constexpr std::uint32_t kAdminRight = static_cast<std::uint32_t>(raisetool::Right::Admin);

QString q(const std::string &s) { return QString::fromStdString(s); }
std::string s(const QString &text) { return text.toUtf8().toStdString(); }

}   // namespace

std::optional<DriverAlert> driverAlertFor(int code)
{
    switch (code) {
    case 4:
        return DriverAlert{
            QStringLiteral("Tindrels Driver Failure"),
            QStringLiteral("Installing the Tindrels device access rule failed (Code: %1). You may need to reinstall "
                           "the Tindrels libraries. If you still have issues, contact Tindrels.")
                .arg(code),
            true};
    case 5:
        return DriverAlert{QStringLiteral("Tindrels Driver Not Loaded"),
                           QStringLiteral("The Tindrels device access rule (%1) is missing. Reinstall the Tindrels "
                                          "libraries. If you still have issues, contact Tindrels.")
                               .arg(q(std::string(paths::kDeviceRuleName))),
                           true};
    case 6:
        return DriverAlert{
            QStringLiteral("Tindrels Driver Blocked"),
            QStringLiteral("The Tindrels device access rule is installed, but this system's device manager (udev) is "
                           "not running, so the rule cannot take effect. This is usual in containers. Run the "
                           "Tindrel Control Panel where udev runs, or start systemd-udevd, then try again."),
            false};
    case 7:
        return DriverAlert{QStringLiteral("Tindrels Driver Not Loaded"),
                           QStringLiteral("The Tindrels device access rule failed its check: it must belong to root, "
                                          "be writable by root only, and be the rule of this version. Reinstall the "
                                          "Tindrels libraries. If you still have issues, contact Tindrels."),
                           false};
    default:
        return std::nullopt;
    }
}

// What the background jobs need; owned by the jobs as much as by the panel.
struct ServerPanelController::Shared {
    ServerPanelServices services;

    bool preAuth() { return services.authority->isAuthorized(true); }
    int run(const std::optional<raisetool::Block> &block)
    {
        if (!block)
            return -1;
        return performCommand(*services.helper, *block, services.authorizationForm());
    }
    void writeAuthorized(const std::string &text, const std::string &path)
    {
        if (preAuth())
            run(raisetool::makeWriteFileBlock(path, text, kAdminRight));
    }
    void deleteAuthorized(const std::string &path)
    {
        if (preAuth())
            run(raisetool::makeDeleteFileBlock(path, kAdminRight));
    }
    void startStopService(const std::string &target, const std::string &verb)
    {
        if (preAuth())
            run(raisetool::makeServiceBlock(target, verb, kAdminRight));
    }
    int kextLoad() { return run(raisetool::makeLoadDriverBlock(kAdminRight)); }
    void writeDescription(bool runAtLoad)
    {
        const RenderedUnit unit = renderUnit(networkServerDescription(runAtLoad));
        if (!unit.error.empty()) {
            qWarning("An error has occured creating the plist: %s", unit.error.c_str());
            return;
        }
        writeAuthorized(unit.text, services.descriptionPath);
    }
    void writeConfig(const ServerSettings &settings)
    {
        const RenderedConfig rendered = renderServerSettings(settings, services.configPath);
        switch (rendered.result) {
        case RenderedConfig::Result::Ok:
            writeAuthorized(rendered.text, services.configPath);
            break;
        case RenderedConfig::Result::TooLarge:
            qWarning("The network server configuration is larger than %zu bytes; %s was left as it was",
                     kRenderBufferSize, services.configPath.c_str());
            break;
        case RenderedConfig::Result::Conflict:
            qWarning("The network server configuration holds %s in a form the panel cannot set; %s was left as it was",
                     rendered.text.c_str(), services.configPath.c_str());
            break;
        case RenderedConfig::Result::NoConfiguration:
            break;
        }
    }
    QString startNetworkService(const ServerSettings &settings)
    {
        writeDescription(settings.startAtBoot);
        writeConfig(settings);
        startStopService(services.descriptionPath, "unload");
        startStopService(services.descriptionPath, "load");
        startStopService(std::string(paths::kServerServiceLabel), "start");
        const bool up =
            waitForRunning(*services.processes, *services.sleeper, paths::kServerProcessName, kStartTimeoutMs);
        return up ? QString() : QString::fromLatin1(texts::kCouldntStart);
    }
    QString stopNetworkService(bool startAtBoot)
    {
        writeDescription(startAtBoot);
        startStopService(std::string(paths::kServerServiceLabel), "stop");
        const bool down =
            waitForStopped(*services.processes, *services.sleeper, paths::kServerProcessName, kStopTimeoutMs);
        return down ? QString() : QString::fromLatin1(texts::kCouldntStop);
    }
};

// The controller is owned by whoever made it, the panel by its parent widget.
ServerPanelController::ServerPanelController(ServerPanelServices services, QWidget *parent)
    : QObject(nullptr)
    , shared_(std::make_shared<Shared>())
    , relay_(std::make_shared<MainThreadRelay>(this))
{
    if (services.configPath.empty())
        services.configPath = std::string(paths::kServerConfigFile);
    if (services.descriptionPath.empty())
        services.descriptionPath = std::string(paths::kServerServiceDescription);
    if (services.dictionaryDirectory.empty())
        services.dictionaryDirectory = std::string(paths::kServerDictionaryDir);
    if (!services.authorizationForm)
        services.authorizationForm = [] { return ownAuthorizationForm(); };
    shared_->services = std::move(services);
    buildPanel(parent);
}

ServerPanelController::~ServerPanelController() { shutDown(); }

void ServerPanelController::shutDown()
{
    relay_->detach();
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

QWidget *ServerPanelController::panel() const { return panel_; }

void ServerPanelController::buildPanel(QWidget *parent)
{
    panel_ = new QGroupBox(tr("Network Server"), parent);
    panel_->setObjectName(QStringLiteral("networkServerPanel"));
    auto *layout = new QVBoxLayout(panel_);

    authView_ = new AuthorizationView(shared_->services.authority, panel_);
    layout->addWidget(authView_);

    const auto check = [this](const char *name, const QString &text) {
        auto *box = new QCheckBox(text, panel_);
        box->setObjectName(QString::fromLatin1(name));
        return box;
    };
    const auto field = [this](const char *name) {
        auto *edit = new QLineEdit(panel_);
        edit->setObjectName(QString::fromLatin1(name));
        return edit;
    };

    auto *status = new QHBoxLayout;
    startStopNetworkServiceButton = new QPushButton(QString::fromLatin1(texts::kStart), panel_);
    startStopNetworkServiceButton->setObjectName(QStringLiteral("startStopNetworkServiceButton"));
    networkServiceProgress = new QProgressBar(panel_);
    networkServiceProgress->setObjectName(QStringLiteral("networkServiceProgress"));
    networkServiceProgress->setRange(0, 1);
    networkServiceProgress->setTextVisible(false);
    networkServiceProgress->setMaximumWidth(80);
    networkServiceProgress->setVisible(false);
    networkServiceStatusTxt = new QLabel(QString::fromLatin1(texts::kNotRunning), panel_);
    networkServiceStatusTxt->setObjectName(QStringLiteral("networkServiceStatusTxt"));
    status->addWidget(startStopNetworkServiceButton);
    status->addWidget(networkServiceProgress);
    status->addWidget(networkServiceStatusTxt, 1);
    layout->addLayout(status);

    networkServiveStartAtBootButton = check("networkServiveStartAtBootButton", tr("Start at boot"));
    layout->addWidget(networkServiveStartAtBootButton);

    auto *form = new QFormLayout;
    tindrelServerEnabledBtn = check("tindrelServerEnabledBtn", tr("Network server enabled"));
    tindrelServerPortTxt = field("tindrelServerPortTxt");
    tindrelServerPublishBtn = check("tindrelServerPublishBtn", tr("Publish on the network"));
    serverNameTxt = field("serverNameTxt");
    serverNameTxt->setPlaceholderText(tr("the computer's name"));
    tindrelServerPassTxt = field("tindrelServerPassTxt");
    tindrelServerPassTxt->setEchoMode(QLineEdit::Password);
    tindrelServerPassTxt->setPlaceholderText(tr("none"));
    form->addRow(tindrelServerEnabledBtn);
    form->addRow(tr("Port:"), tindrelServerPortTxt);
    form->addRow(tindrelServerPublishBtn);
    form->addRow(tr("Server name:"), serverNameTxt);
    form->addRow(tr("Password:"), tindrelServerPassTxt);

    webserverEnabledBtn = check("webserverEnabledBtn", tr("Web server enabled"));
    webserverPortTxt = field("webserverPortTxt");
    webserverDocrootTxt = field("webserverDocrootTxt");
    viewInBrowserBtn = new QPushButton(QString::fromLatin1(texts::kViewInBrowser), panel_);
    viewInBrowserBtn->setObjectName(QStringLiteral("viewInBrowserBtn"));
    viewInBrowserBtn->setVisible(false);
    form->addRow(webserverEnabledBtn, viewInBrowserBtn);
    form->addRow(tr("Web port:"), webserverPortTxt);
    form->addRow(tr("Document root:"), webserverDocrootTxt);

    dictEnableBtn = check("dictEnableBtn", tr("Dictionaries enabled"));
    dictMonitorEnableBtn = check("dictMonitorEnableBtn", tr("Control enabled"));
    form->addRow(dictEnableBtn);
    form->addRow(dictMonitorEnableBtn);
    layout->addLayout(form);

    // Device access is this panel's own: say plainly what it does.
    auto *access = new QGroupBox(tr("Device Access"), panel_);
    auto *accessLayout = new QVBoxLayout(access);
    deviceAccessTxt = new QLabel(access);
    deviceAccessTxt->setObjectName(QStringLiteral("deviceAccessTxt"));
    deviceAccessTxt->setWordWrap(true);
    deviceAccessBtn = new QPushButton(tr("Grant Device Access..."), access);
    deviceAccessBtn->setObjectName(QStringLiteral("deviceAccessBtn"));
    deviceAccessBtn->setToolTip(tr("Installs a udev rule (%1) that lets logged-in users use Tindrels "
                                   "(USB vendor 7D1E). Asks for an administrator's password.")
                                    .arg(q(std::string(paths::kDeviceRuleFile))));
    accessLayout->addWidget(deviceAccessTxt);
    accessLayout->addWidget(deviceAccessBtn);
    layout->addWidget(access);

    auto *dictionaries = new QGroupBox(tr("Dictionaries"), panel_);
    auto *dictionariesLayout = new QVBoxLayout(dictionaries);
    DictionaryPanelServices dictionaryServices;
    dictionaryServices.directory = shared_->services.dictionaryDirectory;
    dictionaryServices.alerts = shared_->services.alerts;
    dictionaryServices.writeAuthorized = [this](const QString &text, const QString &path) {
        writeAuthorized(text, path);
    };
    dictionaryServices.deleteAuthorized = [this](const QString &path) { deleteAuthorized(path); };
    dictionaryPanel_ = std::make_unique<DictionaryPanelController>(std::move(dictionaryServices), dictionaries);
    dictionariesLayout->addWidget(dictionaryPanel_->view());
    layout->addWidget(dictionaries, 1);

    lockedControls_ = {startStopNetworkServiceButton,
                       networkServiveStartAtBootButton,
                       tindrelServerEnabledBtn,
                       tindrelServerPublishBtn,
                       serverNameTxt,
                       tindrelServerPortTxt,
                       tindrelServerPassTxt,
                       webserverEnabledBtn,
                       webserverPortTxt,
                       webserverDocrootTxt,
                       dictEnableBtn,
                       dictMonitorEnableBtn};
    for (QWidget *control : dictionaryPanel_->lockedControls())
        lockedControls_.emplace_back(control);

    // Check boxes act on the user's click; text fields on Return or on
    // leaving the field, when their text was changed.
    for (QCheckBox *box :
         {tindrelServerEnabledBtn, tindrelServerPublishBtn, webserverEnabledBtn, dictEnableBtn, dictMonitorEnableBtn})
        connect(box, &QCheckBox::clicked, this, &ServerPanelController::networkServerConfigChanged);
    for (QLineEdit *edit :
         {tindrelServerPortTxt, serverNameTxt, tindrelServerPassTxt, webserverPortTxt, webserverDocrootTxt}) {
        connect(edit, &QLineEdit::editingFinished, this, [this, edit] {
            if (!edit->isModified())
                return;
            edit->setModified(false);
            networkServerConfigChanged();
        });
    }
    connect(networkServiveStartAtBootButton, &QCheckBox::clicked, this,
            &ServerPanelController::networkServiceStartOnBootCheckChanged);
    connect(startStopNetworkServiceButton, &QPushButton::clicked, this, &ServerPanelController::startStopButtonPressed);
    connect(viewInBrowserBtn, &QPushButton::clicked, this, &ServerPanelController::viewWebserverInBrowserButtonPressed);
    connect(deviceAccessBtn, &QPushButton::clicked, this, &ServerPanelController::kextLoad);
    connect(authView_, &AuthorizationView::didAuthorize, this, &ServerPanelController::authorizationViewDidAuthorize);
    connect(authView_, &AuthorizationView::didDeauthorize, this,
            &ServerPanelController::authorizationViewDidDeauthorize);
    connect(authView_, &AuthorizationView::statusUpdated, this,
            [this](bool unlocked) { unlockNetworkServiceConfig(unlocked); });

    lockNetworkServiceConfig(true);
    showDeviceAccess();
}

void ServerPanelController::setUpAuthorizationView()
{
    lockNetworkServiceConfig(!isUnlocked());
    authView_->updateStatus();
    authView_->setAutoupdate(true, shared_->services.autoupdateMs);
}

// ---- configuration ----

ServerSettings ServerPanelController::settingsFromWidgets() const
{
    ServerSettings v;
    v.startAtBoot = networkServiveStartAtBootButton->checkState() != Qt::Unchecked;
    v.enabled = tindrelServerEnabledBtn->checkState() != Qt::Unchecked;
    v.port = s(tindrelServerPortTxt->text());
    v.publish = tindrelServerPublishBtn->checkState() != Qt::Unchecked;
    v.publishName = s(serverNameTxt->text());
    v.password = s(tindrelServerPassTxt->text());
    v.webserverEnabled = webserverEnabledBtn->checkState() != Qt::Unchecked;
    v.webserverPort = s(webserverPortTxt->text());
    v.docroot = s(webserverDocrootTxt->text());
    v.dictionaryEnabled = dictEnableBtn->checkState() != Qt::Unchecked;
    v.controlEnabled = dictMonitorEnableBtn->checkState() != Qt::Unchecked;
    return v;
}

void ServerPanelController::showSettings(const ServerSettings &v)
{
    networkServiveStartAtBootButton->setChecked(v.startAtBoot);
    tindrelServerEnabledBtn->setChecked(v.enabled);
    tindrelServerPortTxt->setText(q(v.port));
    tindrelServerPublishBtn->setChecked(v.publish);
    serverNameTxt->setText(QString::fromUtf8(v.publishName.c_str()));
    tindrelServerPassTxt->setText(QString::fromUtf8(v.password.c_str()));
    webserverEnabledBtn->setChecked(v.webserverEnabled);
    webserverPortTxt->setText(q(v.webserverPort));
    webserverDocrootTxt->setText(QString::fromUtf8(v.docroot.c_str()));
    dictEnableBtn->setChecked(v.dictionaryEnabled);
    dictMonitorEnableBtn->setChecked(v.controlEnabled);
    for (QLineEdit *edit :
         {tindrelServerPortTxt, serverNameTxt, tindrelServerPassTxt, webserverPortTxt, webserverDocrootTxt})
        edit->setModified(false);
}

void ServerPanelController::readInNetworkServiceConfig()
{
    showSettings(readServerSettings(shared_->services.configPath));
}

void ServerPanelController::writeOutNetworkServiceConfig()
{
    // The widgets' values now; a newer write not yet started replaces this one.
    const ServerSettings settings = settingsFromWidgets();
    auto shared = shared_;
    queue_.post([shared, settings] { shared->writeConfig(settings); }, "config");
}

void ServerPanelController::networkServerConfigChanged() { writeOutNetworkServiceConfig(); }

void ServerPanelController::networkServiceStartOnBootCheckChanged()
{
    writeOutNetworkServiceLaunchDaemonPlist();
    writeOutNetworkServiceConfig();
}

void ServerPanelController::writeOutNetworkServiceLaunchDaemonPlist()
{
    const bool runAtLoad = networkServiveStartAtBootButton->checkState() != Qt::Unchecked;
    auto shared = shared_;
    queue_.post([shared, runAtLoad] { shared->writeDescription(runAtLoad); }, "description");
}

void ServerPanelController::writeAuthorized(const QString &text, const QString &path)
{
    auto shared = shared_;
    queue_.post([shared, text = s(text), path = s(path)] { shared->writeAuthorized(text, path); });
}

void ServerPanelController::deleteAuthorized(const QString &path)
{
    auto shared = shared_;
    queue_.post([shared, path = s(path)] { shared->deleteAuthorized(path); });
}

// ---- the lock ----

bool ServerPanelController::isUnlocked() const
{
    return authView_->authorizationState() == AuthorizationView::State::Unlocked;
}

void ServerPanelController::lockNetworkServiceConfig(bool lock)
{
    for (const auto &control : lockedControls_) {
        if (control)
            control->setEnabled(!lock);
    }
}

void ServerPanelController::authorizationViewDidAuthorize() { unlockNetworkServiceConfig(isUnlocked()); }

void ServerPanelController::authorizationViewDidDeauthorize() { lockNetworkServiceConfig(!isUnlocked()); }

void ServerPanelController::addLockedControl(QWidget *control)
{
    lockedControls_.emplace_back(control);
    control->setEnabled(isUnlocked());
}

// ---- start and stop ----

void ServerPanelController::updateNetworkServiceStatus()
{
    const bool running = isRunning(*shared_->services.processes, paths::kServerProcessName);
    startStopNetworkServiceButton->setText(QString::fromLatin1(running ? texts::kStop : texts::kStart));
    networkServiceStatusTxt->setText(QString::fromLatin1(running ? texts::kRunning : texts::kNotRunning));
    viewInBrowserBtn->setVisible(running && webserverEnabledBtn->checkState() != Qt::Unchecked);
}

bool ServerPanelController::progressAnimating() const { return networkServiceProgress->isVisible(); }

void ServerPanelController::startStopButtonPressed()
{
    const bool start = startStopNetworkServiceButton->text() == QString::fromLatin1(texts::kStart);
    const bool running = isRunning(*shared_->services.processes, paths::kServerProcessName);
    if (running == start) {
        updateNetworkServiceStatus();
        return;
    }
    networkServiceProgress->setRange(0, 0);
    networkServiceProgress->setVisible(true);
    networkServiceStatusTxt->setText(QString::fromLatin1(start ? texts::kStarting : texts::kStopping));
    startStopNetworkServiceButton->setEnabled(false);
    // The widgets' values as they are at the press; later edits follow as
    // writes of their own on the same queue.
    const ServerSettings settings = settingsFromWidgets();
    auto shared = shared_;
    auto relay = relay_;
    queue_.post([this, shared, relay, settings, start] {
        const QString message =
            start ? shared->startNetworkService(settings) : shared->stopNetworkService(settings.startAtBoot);
        relay->post([this, message] { startStopFinished(message); });
    });
}

void ServerPanelController::startStopFinished(const QString &message)
{
    networkServiceProgress->setRange(0, 1);
    networkServiceProgress->setVisible(false);
    updateNetworkServiceStatus();
    if (!message.isEmpty())
        networkServiceStatusTxt->setText(message);
    startStopNetworkServiceButton->setEnabled(isUnlocked());
}

void ServerPanelController::viewWebserverInBrowserButtonPressed()
{
    const QUrl url(QStringLiteral("http://localhost:%1").arg(webserverPortTxt->text()));
    if (shared_->services.openUrl && url.isValid())
        shared_->services.openUrl(url);
}

// ---- device access ----

DeviceAccessState ServerPanelController::deviceAccessState() const
{
    return shared_->services.deviceAccess ? shared_->services.deviceAccess() : DeviceAccessState::NotInstalled;
}

bool ServerPanelController::kextloaded() const { return deviceAccessState() == DeviceAccessState::Active; }

void ServerPanelController::showDeviceAccess()
{
    const DeviceAccessState state = deviceAccessState();
    switch (state) {
    case DeviceAccessState::Active:
        deviceAccessTxt->setText(tr("Tindrels on this computer are accessible to logged-in users."));
        break;
    case DeviceAccessState::NotInstalled:
        deviceAccessTxt->setText(
            tr("Tindrels on this computer are not accessible yet: a udev rule for USB vendor 7D1E is needed."));
        break;
    case DeviceAccessState::UdevNotRunning:
        deviceAccessTxt->setText(tr("The udev rule for Tindrels is installed, but udev does not run on this "
                                    "system, so it is not in force."));
        break;
    }
    deviceAccessBtn->setVisible(state != DeviceAccessState::Active);
    deviceAccessBtn->setEnabled(!deviceAccessRunning_);
}

void ServerPanelController::checkDeviceAccessAtStartUp()
{
    // Installing again cannot help a rule that waits for udev: the panel's
    // Device Access box says so instead of asking at every start.
    if (deviceAccessState() != DeviceAccessState::NotInstalled)
        return;
    AlertService *alerts = shared_->services.alerts;
    const int answer =
        alerts ? alerts->askAlert(
                     panel_->window(), tr("Grant Access to Tindrels?"),
                     tr("Tindrels plugged into this computer cannot be used yet. The Tindrel Control Panel can "
                        "install a udev rule (%1) that gives logged-in users access to devices of USB vendor "
                        "7D1E. This changes the system for every user and asks for an administrator's "
                        "password. You can also do it later from the network server panel.")
                         .arg(q(std::string(paths::kDeviceRuleFile))),
                     {tr("Grant Access"), tr("Not Now")})
               : 0;
    if (answer == 0)
        kextLoad();
}

void ServerPanelController::kextLoad()
{
    if (deviceAccessRunning_)
        return;
    deviceAccessRunning_ = true;
    showDeviceAccess();
    auto shared = shared_;
    auto relay = relay_;
    queue_.post([this, shared, relay] {
        const int code = shared->kextLoad();
        relay->post([this, code] { deviceAccessResult(code); });
    });
}

void ServerPanelController::deviceAccessResult(int code)
{
    deviceAccessRunning_ = false;
    showDeviceAccess();
    if (code != 0) {
        if (const auto alert = driverAlertFor(code); alert && shared_->services.alerts) {
            if (alert->critical)
                shared_->services.alerts->showCritical(panel_->window(), alert->title, alert->text);
            else
                shared_->services.alerts->showAlert(panel_->window(), alert->title, alert->text);
        }
        authView_->deauthorize();
    }
    emit deviceAccessFinished(code);
}

}   // namespace tindrel::server
