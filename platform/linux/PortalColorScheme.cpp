#include "PortalColorScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>
#include <QProcess>
#include <QTimer>

namespace tindrel::platform::linux_impl {

namespace {
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearance = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

// The portal wraps its value in one variant or two (Read's own and the setting's).
std::optional<ColorScheme> portalScheme(QVariant value)
{
    for (int depth = 0; depth < 4 && value.canConvert<QDBusVariant>(); ++depth)
        value = value.value<QDBusVariant>().variant();
    bool ok = false;
    const unsigned number = value.toUInt(&ok);
    return ok ? color_scheme::fromPortalValue(number) : std::nullopt;
}
}   // namespace

class PortalColorScheme::Listener : public QObject {
    Q_OBJECT
public:
    void start(std::function<void(ColorScheme)> changed)
    {
        changed_ = std::move(changed);
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            // Told after follow returns, as any other answer would be.
            QTimer::singleShot(0, this, [this] { askGnome(); });
            return;
        }
        bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                    SLOT(settingChanged(QString, QString, QDBusVariant)));
        QDBusMessage read =
            QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
        read << appearance << colorSchemeKey;
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(read), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            const QDBusPendingReply<QDBusVariant> reply = *w;
            if (reply.isError()) {
                askGnome();
                return;
            }
            report(portalScheme(reply.value().variant()).value_or(gtkTheme()));
        });
    }
    ColorScheme current = ColorScheme::Light;

public slots:
    void settingChanged(const QString &ns, const QString &key, const QDBusVariant &value)
    {
        if (ns == appearance && key == colorSchemeKey)
            report(portalScheme(value.variant()).value_or(gtkTheme()));
    }

private:
    static ColorScheme gtkTheme() { return color_scheme::fromGtkTheme(qgetenv("GTK_THEME").toStdString()); }

    void askGnome()
    {
        auto *gsettings = new QProcess(this);
        connect(gsettings, &QProcess::finished, this, [this, gsettings](int code, QProcess::ExitStatus status) {
            gsettings->deleteLater();
            const QByteArray out = gsettings->readAllStandardOutput();
            const auto scheme = code == 0 && status == QProcess::NormalExit
                                    ? color_scheme::fromGnomeSetting(out.toStdString())
                                    : std::nullopt;
            report(scheme.value_or(gtkTheme()));
        });
        connect(gsettings, &QProcess::errorOccurred, this, [this, gsettings](QProcess::ProcessError error) {
            // Not there at all: no finished signal follows.
            if (error == QProcess::FailedToStart) {
                gsettings->deleteLater();
                report(gtkTheme());
            }
        });
        gsettings->start(QStringLiteral("gsettings"),
                         {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"), colorSchemeKey});
    }

    void report(ColorScheme scheme)
    {
        current = scheme;
        if (changed_)
            changed_(scheme);
    }

    std::function<void(ColorScheme)> changed_;
};

PortalColorScheme::PortalColorScheme()
    : listener_(std::make_unique<Listener>())
{ }

PortalColorScheme::~PortalColorScheme() = default;

void PortalColorScheme::follow(std::function<void(ColorScheme)> changed) { listener_->start(std::move(changed)); }

ColorScheme PortalColorScheme::current() const { return listener_->current; }

}   // namespace tindrel::platform::linux_impl

#include "PortalColorScheme.moc"
