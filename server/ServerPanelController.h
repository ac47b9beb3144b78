// The network server panel of the main window: the daemon's configuration,
// its start and stop, start at boot, its web page, the panel's lock, and the
// devices' access rule. Every privileged step runs the helper tool on the
// panel's background queue, one after another in the order asked for; the
// widgets belong to the main thread and are read there.
#pragma once

#include "AuthorizationForm.h"
#include "BackgroundQueue.h"
#include "DeviceAccess.h"
#include "Protocol.h"
#include "ServerConfig.h"
#include "ServerServices.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace tindrel {
class AlertService;
}

namespace tindrel::server {

class AuthorizationView;
class DictionaryPanelController;

struct ServerPanelServices {
    std::shared_ptr<platform::HelperLauncher> helper;
    std::shared_ptr<platform::ProcessTable> processes;
    std::shared_ptr<platform::Sleeper> sleeper;
    std::shared_ptr<platform::PanelAuthority> authority;
    AlertService *alerts = nullptr;
    // Opens a URL in the user's browser (the desktop's URL opener).
    std::function<bool(const QUrl &)> openUrl;
    // Whether the devices' access rule is installed and in force.
    std::function<DeviceAccessState()> deviceAccess;
    std::function<std::optional<platform::AuthorizationFormBytes>()> authorizationForm;
    std::string configPath;            // default: the system's configuration file
    std::string descriptionPath;       // default: the system's service description
    std::string dictionaryDirectory;   // default: the system's dictionary directory
    int autoupdateMs = 10000;          // quiet re-check of the lock
};

// The texts the panel shows.
namespace texts {
inline const char *const kStart = "Start Network Server";
inline const char *const kStop = "Stop Network Server";
inline const char *const kRunning = "Network Server is running.";
inline const char *const kNotRunning = "Network Server is not running.";
inline const char *const kStarting = "Starting";
inline const char *const kStopping = "Stopping";
inline const char *const kCouldntStart = "Couldn't Start";
inline const char *const kCouldntStop = "Couldn't Stop";
inline const char *const kViewInBrowser = "View in Browser";
}   // namespace texts

// The alert for a driver load result; nothing for results without one.
struct DriverAlert {
    QString title;
    QString text;
    bool critical = false;
};
std::optional<DriverAlert> driverAlertFor(int code);

class ServerPanelController : public QObject {
    Q_OBJECT
public:
    ServerPanelController(ServerPanelServices services, QWidget *parent);
    ~ServerPanelController() override;

    QWidget *panel() const;
    AuthorizationView *authView() const { return authView_; }
    DictionaryPanelController *dictionaryPanel() const { return dictionaryPanel_.get(); }

    // Start-up, in the order the main window calls them.
    void setUpAuthorizationView();
    void readInNetworkServiceConfig();
    void updateNetworkServiceStatus();
    // The driver check: asks the user, then installs the access rule through
    // the helper when they agree; a failure is shown and locks the panel.
    void checkDeviceAccessAtStartUp();
    // The application is quitting: answers of helper runs still under way
    // are dropped, so no alert opens while the program shuts down.
    void shutDown();

    // Configuration.
    ServerSettings settingsFromWidgets() const;
    void showSettings(const ServerSettings &settings);
    void writeOutNetworkServiceConfig();
    void networkServerConfigChanged();
    void networkServiceStartOnBootCheckChanged();
    void writeOutNetworkServiceLaunchDaemonPlist();
    // Privileged writes and removals of other files (the dictionaries'),
    // queued behind the panel's own; the helper's result is not looked at.
    void writeAuthorized(const QString &text, const QString &path);
    void deleteAuthorized(const QString &path);

    // The lock.
    bool isUnlocked() const;
    void lockNetworkServiceConfig(bool lock);
    void unlockNetworkServiceConfig(bool unlock) { lockNetworkServiceConfig(!unlock); }
    void authorizationViewDidAuthorize();
    void authorizationViewDidDeauthorize();
    // Further controls that follow the lock (the dictionary panel's).
    void addLockedControl(QWidget *control);
    const std::vector<QPointer<QWidget>> &lockedControls() const { return lockedControls_; }

    // Start and stop.
    void startStopButtonPressed();
    void startStopFinished(const QString &message);
    void viewWebserverInBrowserButtonPressed();
    bool kextloaded() const;
    DeviceAccessState deviceAccessState() const;
    // Installs the access rule through the helper; the result comes to
    // deviceAccessFinished on the main thread.
    void kextLoad();
    bool busy() const { return queue_.busy(); }

    // The widgets.
    QPushButton *startStopNetworkServiceButton = nullptr;
    QLabel *networkServiceStatusTxt = nullptr;
    QProgressBar *networkServiceProgress = nullptr;
    QPushButton *viewInBrowserBtn = nullptr;
    QCheckBox *networkServiveStartAtBootButton = nullptr;
    QCheckBox *tindrelServerEnabledBtn = nullptr;
    QLineEdit *tindrelServerPortTxt = nullptr;
    QCheckBox *tindrelServerPublishBtn = nullptr;
    QLineEdit *serverNameTxt = nullptr;
    QLineEdit *tindrelServerPassTxt = nullptr;
    QCheckBox *webserverEnabledBtn = nullptr;
    QLineEdit *webserverPortTxt = nullptr;
    QLineEdit *webserverDocrootTxt = nullptr;
    QCheckBox *dictEnableBtn = nullptr;
    QCheckBox *dictMonitorEnableBtn = nullptr;
    QLabel *deviceAccessTxt = nullptr;
    QPushButton *deviceAccessBtn = nullptr;

signals:
    void deviceAccessFinished(int code);

private:
    struct Shared;
    void buildPanel(QWidget *parent);
    void showDeviceAccess();
    void deviceAccessResult(int code);
    bool progressAnimating() const;

    std::shared_ptr<Shared> shared_;
    std::shared_ptr<MainThreadRelay> relay_;
    BackgroundQueue queue_;
    QGroupBox *panel_ = nullptr;
    AuthorizationView *authView_ = nullptr;
    std::unique_ptr<DictionaryPanelController> dictionaryPanel_;
    std::vector<QPointer<QWidget>> lockedControls_;
    bool deviceAccessRunning_ = false;
};

}   // namespace tindrel::server
