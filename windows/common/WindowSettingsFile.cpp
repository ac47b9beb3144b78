// The frame's channel settings files: one format with the command line's
// `tindrel save` and `tindrel apply`.
#include "ExampleWindow.h"

#include "AlertService.h"
#include "ChannelSettingsIO.h"
#include "OpenChannel.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QSaveFile>

namespace tindrel {

namespace {

const cli::ClassInfo *classOf(TindrelHandle h)
{
    Tindrel_ChannelClass number{};
    if (Tindrel_getChannelClass(h, &number) != TINDREL_OK)
        return nullptr;
    return cli::classByNumber(static_cast<int>(number));
}

QString text(const std::string &s) { return QString::fromStdString(s); }

}   // namespace

void ExampleWindow::addSettingsActions()
{
    saveSettingsAction_ = new QAction(QStringLiteral("Save Channel Settings..."), this);
    loadSettingsAction_ = new QAction(QStringLiteral("Load Channel Settings..."), this);
    saveSettingsAction_->setShortcut(QKeySequence::Save);
    loadSettingsAction_->setShortcut(QKeySequence::Open);
    for (QAction *action : {saveSettingsAction_, loadSettingsAction_}) {
        action->setShortcutContext(Qt::WindowShortcut);
        action->setEnabled(false);
        addAction(action);
    }
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(saveSettingsAction_, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save channel settings to"),
                                                          windowTitle() + QStringLiteral(".json"),
                                                          QStringLiteral("Channel settings (*.json)"));
        if (!path.isEmpty())
            saveSettingsTo(path);
    });
    connect(loadSettingsAction_, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Load channel settings from"), QString(),
                                                          QStringLiteral("Channel settings (*.json);;All files (*)"));
        if (!path.isEmpty())
            loadSettingsFrom(path);
    });
}

void ExampleWindow::settingsFileAlert(const QString &title, const QString &message)
{
    if (alerts_)
        alerts_->showAlert(this, title, message);
    else
        outputError(title + QStringLiteral(": ") + message);
}

void ExampleWindow::showLoadedSettings()
{
    onDetachHandler();
    onAttachHandler();
}

bool ExampleWindow::saveSettingsTo(const QString &path)
{
    const TindrelHandle h = ch_.get();
    const cli::ClassInfo *cls = attached_ ? classOf(h) : nullptr;
    if (!cls) {
        settingsFileAlert(QStringLiteral("Channel Settings Not Saved"),
                          QStringLiteral("The channel is not attached, so there is nothing to save."));
        return false;
    }
    settings::SettingsFile file;
    std::vector<std::string> problems;
    file.channels.emplace_back();
    cli::captureChannel(*cls, h, file.channels.back(), problems);
    for (const std::string &problem : problems)
        outputError(text(problem));

    // Written aside and renamed over the old file, so a failure leaves it whole.
    QSaveFile out(path);
    const std::string content = settings::writeSettings(file);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(content.data(), static_cast<qint64>(content.size())) != static_cast<qint64>(content.size()) ||
        !out.commit()) {
        settingsFileAlert(QStringLiteral("Channel Settings Not Saved"),
                          QStringLiteral("Cannot write %1: %2").arg(path, out.errorString()));
        return false;
    }
    return problems.empty();
}

bool ExampleWindow::loadSettingsFrom(const QString &path)
{
    const TindrelHandle h = ch_.get();
    const cli::ClassInfo *cls = attached_ ? classOf(h) : nullptr;
    if (!cls) {
        settingsFileAlert(QStringLiteral("Channel Settings Not Loaded"),
                          QStringLiteral("The channel is not attached, so nothing can be set."));
        return false;
    }
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        settingsFileAlert(QStringLiteral("Channel Settings Not Loaded"),
                          QStringLiteral("Cannot read %1: %2").arg(path, in.errorString()));
        return false;
    }
    const QByteArray bytes = in.readAll();
    std::string problem;
    const auto file = settings::readSettings(bytes.toStdString(), &problem);
    if (!file) {
        settingsFileAlert(QStringLiteral("Channel Settings Not Loaded"),
                          QStringLiteral("%1: %2").arg(path, text(problem)));
        return false;
    }
    const settings::ChannelSettings *entry =
        cli::entryFor(*file, cls->name, cli::toFileAddress(cli::attachedAddress(h)));
    if (!entry) {
        settingsFileAlert(QStringLiteral("Channel Settings Not Loaded"),
                          QStringLiteral("%1 holds no settings of a %2 channel.").arg(path, text(cls->name)));
        return false;
    }

    const cli::SetOutcome set = cli::setChannel(*cls, h, *entry);
    for (const std::string &p : set.problems)
        outputError(text(p));
    // The window shows what the channel holds now, as after a new attach;
    // then every setting is read back, so a window that changes one on
    // attach cannot hide it.
    showLoadedSettings();
    const cli::ReadBackOutcome back = cli::readBack(h, set.set);
    for (const std::string &p : back.problems)
        outputError(text(p));
    for (const std::string &d : back.differences)
        outputError(text(d));
    return set.problems.empty() && back.problems.empty() && back.differences.empty();
}

}   // namespace tindrel
