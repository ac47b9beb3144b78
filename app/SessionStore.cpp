#include "SessionStore.h"

#include "tindrel22_core.h"

#include <QMetaType>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>
#include <cmath>
#include <map>

namespace tindrel::session {

namespace {

// The channel classes the library knows; the hub's own channel is never shown.
constexpr int knownClasses[] = {
#define TINDREL_NOTHING(...)
#define TINDREL_CLASS(C, chclass) chclass,
#define TINDREL_RO                TINDREL_NOTHING
#define TINDREL_RW                TINDREL_NOTHING
#define TINDREL_RWR               TINDREL_NOTHING
#define TINDREL_ROR               TINDREL_NOTHING
#define TINDREL_ROV               TINDREL_NOTHING
#define TINDREL_EVENT             TINDREL_NOTHING
#define TINDREL_EVENT0            TINDREL_NOTHING
#include "tindrel22_classes.def"
};

bool isShownClass(int cls)
{
    return cls != TINDREL_CHCLASS_HUB && std::ranges::find(knownClasses, cls) != std::end(knownClasses);
}

// Screen coordinates and sizes beyond these are no place a window was.
constexpr int farthestCoordinate = 32767;
constexpr int smallestWindowSide = 64;
constexpr int narrowestColumn = 8;
constexpr int widestColumn = 4000;
constexpr int longestServerName = 255;
constexpr int mostPort = 255;
constexpr int mostChannel = 1023;

// Values come back from an INI file as text and from other stores typed:
// both are taken, anything else (lists, byte arrays, pictures) is not.
bool isPlain(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

std::optional<long long> wholeNumber(const QVariant &v)
{
    if (!isPlain(v) || v.typeId() == QMetaType::Bool)
        return std::nullopt;
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
        const double d = v.toDouble();
        if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 1e15)
            return std::nullopt;
        return static_cast<long long>(d);
    }
    bool ok = false;
    const long long n =
        v.typeId() == QMetaType::QString ? v.toString().trimmed().toLongLong(&ok, 10) : v.toLongLong(&ok);
    return ok ? std::optional<long long>(n) : std::nullopt;
}

std::optional<double> finiteNumber(const QVariant &v)
{
    if (!isPlain(v) || v.typeId() == QMetaType::Bool)
        return std::nullopt;
    bool ok = false;
    const double d = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok) : v.toDouble(&ok);
    return ok && std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
}

std::optional<bool> onOff(const QVariant &v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        if (s == QLatin1String("true") || s == QLatin1String("1"))
            return true;
        if (s == QLatin1String("false") || s == QLatin1String("0"))
            return false;
        return std::nullopt;
    }
    if (const auto n = wholeNumber(v); n && (*n == 0 || *n == 1))
        return *n == 1;
    return std::nullopt;
}

// A setting of a row: on/off stays on/off, anything else must be a number.
std::optional<QVariant> settingValue(const QVariant &v)
{
    if (v.typeId() == QMetaType::Bool)
        return v;
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        if (s == QLatin1String("true") || s == QLatin1String("false"))
            return QVariant(s == QLatin1String("true"));
    }
    if (const auto d = finiteNumber(v))
        return QVariant(*d);
    return std::nullopt;
}

bool isSettingKey(const QString &key)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_.-]{1,64}$"));
    return plain.match(key).hasMatch();
}

// Reads one field of an entry; says what is wrong with it otherwise.
class Fields {
public:
    Fields(const QVariantMap &values, QString prefix)
        : values_(values)
        , prefix_(std::move(prefix))
    { }
    bool has(const QString &name) const { return values_.contains(prefix_ + name); }
    QVariant raw(const QString &name) const { return values_.value(prefix_ + name); }

    std::optional<int> integer(const QString &name, long long lo, long long hi)
    {
        if (!has(name))
            return fail(QStringLiteral("%1 is missing").arg(name));
        const auto n = wholeNumber(raw(name));
        if (!n)
            return fail(QStringLiteral("%1 is not a whole number").arg(name));
        if (*n < lo || *n > hi)
            return fail(QStringLiteral("%1 %2 is out of range").arg(name).arg(*n));
        return static_cast<int>(*n);
    }
    std::optional<bool> flag(const QString &name)
    {
        if (!has(name))
            return fail(QStringLiteral("%1 is missing").arg(name));
        const auto b = onOff(raw(name));
        return b ? b : fail(QStringLiteral("%1 is not true or false").arg(name));
    }
    std::optional<double> number(const QString &name, double lo, double hi)
    {
        const auto d = finiteNumber(raw(name));
        if (!d)
            return fail(QStringLiteral("%1 is not a number").arg(name));
        if (*d < lo || *d > hi)
            return fail(QStringLiteral("%1 %2 is out of range").arg(name).arg(*d));
        return d;
    }
    // The first thing found wrong.
    const QString &problem() const { return problem_; }
    std::nullopt_t fail(QString why)
    {
        if (problem_.isEmpty())
            problem_ = std::move(why);
        return std::nullopt;
    }

private:
    const QVariantMap &values_;
    const QString prefix_;
    QString problem_;
};

std::optional<MainWindowPlace> readMainWindow(const QVariantMap &values, QStringList &problems)
{
    Fields f(values, QStringLiteral("mainWindow/"));
    if (!f.has(QStringLiteral("x")) && !f.has(QStringLiteral("y")) && !f.has(QStringLiteral("width")) &&
        !f.has(QStringLiteral("height")))
        return std::nullopt;
    const auto x = f.integer(QStringLiteral("x"), -farthestCoordinate, farthestCoordinate);
    const auto y = f.integer(QStringLiteral("y"), -farthestCoordinate, farthestCoordinate);
    const auto w = f.integer(QStringLiteral("width"), smallestWindowSide, farthestCoordinate);
    const auto h = f.integer(QStringLiteral("height"), smallestWindowSide, farthestCoordinate);
    std::optional<bool> maximized = false;
    if (f.has(QStringLiteral("maximized")))
        maximized = f.flag(QStringLiteral("maximized"));
    if (!x || !y || !w || !h || !maximized) {
        problems << QStringLiteral("the main window's place (%1)").arg(f.problem());
        return std::nullopt;
    }
    return MainWindowPlace{{*x, *y}, {*w, *h}, *maximized};
}

QMap<QString, int> readColumns(const QVariantMap &values, QStringList &problems)
{
    QMap<QString, int> widths;
    for (const QString &id : columnIds) {
        Fields f(values, QStringLiteral("tree/"));
        if (!f.has(id))
            continue;
        if (const auto w = f.integer(id, narrowestColumn, widestColumn))
            widths.insert(id, *w);
        else
            problems << QStringLiteral("the width of the tree's %1 (%2)").arg(id, f.problem());
    }
    return widths;
}

std::optional<WindowEntry> readWindow(const QVariantMap &values, int index, QString &problem)
{
    Fields f(values, QStringLiteral("windows/%1/").arg(index));
    WindowEntry e;
    const auto serial = f.integer(QStringLiteral("serial"), 0, 0x7fffffff);
    const auto hubPort = f.integer(QStringLiteral("hubPort"), 0, mostPort);
    const auto channel = f.integer(QStringLiteral("channel"), 0, mostChannel);
    const auto cls = f.integer(QStringLiteral("class"), 0, 0xffff);
    const auto hubPortDevice = f.flag(QStringLiteral("hubPortDevice"));
    const auto remote = f.flag(QStringLiteral("remote"));
    if (!serial || !hubPort || !channel || !cls || !hubPortDevice || !remote) {
        problem = f.problem();
        return std::nullopt;
    }
    if (!isShownClass(*cls)) {
        problem = QStringLiteral("channel class %1 is not known").arg(*cls);
        return std::nullopt;
    }
    e.address = {*serial, *hubPort, *channel, *cls, *hubPortDevice, *remote, {}};
    if (*remote) {
        const QVariant server = f.raw(QStringLiteral("server"));
        const QString name = server.typeId() == QMetaType::QString ? server.toString() : QString();
        const bool printable = std::ranges::all_of(name, [](QChar c) { return c.isPrint(); });
        if (name.isEmpty() || name.size() > longestServerName || !printable) {
            problem = QStringLiteral("a remote channel without a readable server name");
            return std::nullopt;
        }
        e.address.serverName = name;
    }

    // The rest is the window's own: what cannot be read takes its default,
    // and the window still opens.
    if (f.has(QStringLiteral("x")) || f.has(QStringLiteral("y"))) {
        const auto x = f.integer(QStringLiteral("x"), -farthestCoordinate, farthestCoordinate);
        const auto y = f.integer(QStringLiteral("y"), -farthestCoordinate, farthestCoordinate);
        if (x && y)
            e.position = QPoint(*x, *y);
    }
    if (f.has(QStringLiteral("plotSpan")))
        e.plotSpan = f.number(QStringLiteral("plotSpan"), shortestPlotSpan, longestPlotSpan).value_or(defaultPlotSpan);
    if (f.has(QStringLiteral("plotOpen")))
        e.plotOpen = f.flag(QStringLiteral("plotOpen")).value_or(false);
    const QString settingsPrefix = QStringLiteral("windows/%1/settings/").arg(index);
    for (auto it = values.lowerBound(settingsPrefix); it != values.end() && it.key().startsWith(settingsPrefix); ++it) {
        const QString key = it.key().mid(settingsPrefix.size());
        if (e.settings.size() >= mostSettings) {
            f.fail(QStringLiteral("settings past the %1th").arg(mostSettings));
            break;
        }
        const auto value = isSettingKey(key) ? settingValue(it.value()) : std::nullopt;
        if (value)
            e.settings.insert(key, *value);
        else
            f.fail(QStringLiteral("setting %1 is neither a number nor on or off").arg(key.left(64)));
    }
    // Partly read: the entry stays, the problem is still told.
    problem = f.problem();
    return e;
}

// The indices of the window entries present, in order.
std::vector<int> windowIndices(const QVariantMap &values, QStringList &problems)
{
    std::map<int, bool> found;
    bool beyond = false;
    const QString prefix = QStringLiteral("windows/");
    for (auto it = values.lowerBound(prefix); it != values.end() && it.key().startsWith(prefix); ++it) {
        const QString rest = it.key().mid(prefix.size());
        const qsizetype slash = rest.indexOf(u'/');
        if (slash <= 0)
            continue;   // "windows/size" and stray keys
        bool ok = false;
        const int n = rest.left(slash).toInt(&ok, 10);
        if (!ok || n < 1)
            continue;
        if (n > mostWindows) {
            beyond = true;
            continue;
        }
        found[n] = true;
    }
    if (beyond)
        problems << QStringLiteral("windows past the %1th").arg(mostWindows);
    std::vector<int> out;
    for (const auto &[n, present] : found)
        out.push_back(n);
    return out;
}

}   // namespace

ReadResult readSession(const QVariantMap &values)
{
    ReadResult r;
    if (values.isEmpty())
        return r;
    const auto version = wholeNumber(values.value(QStringLiteral("version")));
    if (!values.contains(QStringLiteral("version")) || !version) {
        r.problems << QStringLiteral("the whole session (it says no format version)");
        return r;
    }
    if (*version != formatVersion) {
        r.problems << QStringLiteral("the whole session (format version %1; this panel reads %2)")
                          .arg(*version)
                          .arg(formatVersion);
        return r;
    }
    if (values.contains(QStringLiteral("startCleanAtNextLaunch"))) {
        const auto clean = onOff(values.value(QStringLiteral("startCleanAtNextLaunch")));
        if (!clean)
            r.problems << QStringLiteral("the start-clean mark (not true or false)");
        r.session.startCleanAtNextLaunch = clean.value_or(false);
    }
    r.session.mainWindow = readMainWindow(values, r.problems);
    r.session.columnWidths = readColumns(values, r.problems);

    if (values.contains(QStringLiteral("windows/size"))) {
        const auto size = wholeNumber(values.value(QStringLiteral("windows/size")));
        if (!size || *size < 0 || *size > mostWindows)
            r.problems
                << QStringLiteral("the window count (%1)").arg(values.value(QStringLiteral("windows/size")).toString());
    }
    for (const int index : windowIndices(values, r.problems)) {
        QString problem;
        std::optional<WindowEntry> e = readWindow(values, index, problem);
        if (e) {
            const auto same = std::ranges::find_if(
                r.session.windows, [&](const WindowEntry &other) { return other.address == e->address; });
            if (same != r.session.windows.end()) {
                r.problems << QStringLiteral("window %1 (the same channel as an earlier window)").arg(index);
                continue;
            }
            r.session.windows.push_back(std::move(*e));
        }
        if (!problem.isEmpty())
            r.problems << (e ? QStringLiteral("part of window %1 (%2)") : QStringLiteral("window %1 (%2)"))
                              .arg(index)
                              .arg(problem);
    }
    return r;
}

QVariantMap writeSession(const Session &session)
{
    QVariantMap v;
    v.insert(QStringLiteral("version"), formatVersion);
    if (session.startCleanAtNextLaunch)
        v.insert(QStringLiteral("startCleanAtNextLaunch"), true);
    if (const auto &m = session.mainWindow) {
        v.insert(QStringLiteral("mainWindow/x"), m->position.x());
        v.insert(QStringLiteral("mainWindow/y"), m->position.y());
        v.insert(QStringLiteral("mainWindow/width"), m->size.width());
        v.insert(QStringLiteral("mainWindow/height"), m->size.height());
        v.insert(QStringLiteral("mainWindow/maximized"), m->maximized);
    }
    for (auto it = session.columnWidths.begin(); it != session.columnWidths.end(); ++it)
        v.insert(QStringLiteral("tree/") + it.key(), it.value());
    const int count = static_cast<int>(std::min<std::size_t>(session.windows.size(), mostWindows));
    if (count > 0)
        v.insert(QStringLiteral("windows/size"), count);
    for (int i = 0; i < count; ++i) {
        const WindowEntry &e = session.windows[static_cast<std::size_t>(i)];
        const QString p = QStringLiteral("windows/%1/").arg(i + 1);
        v.insert(p + QStringLiteral("serial"), e.address.serialNumber);
        v.insert(p + QStringLiteral("hubPort"), e.address.hubPort);
        v.insert(p + QStringLiteral("channel"), e.address.channel);
        v.insert(p + QStringLiteral("class"), e.address.channelClass);
        v.insert(p + QStringLiteral("hubPortDevice"), e.address.hubPortDevice);
        v.insert(p + QStringLiteral("remote"), e.address.remote);
        if (e.address.remote)
            v.insert(p + QStringLiteral("server"), e.address.serverName);
        if (e.position) {
            v.insert(p + QStringLiteral("x"), e.position->x());
            v.insert(p + QStringLiteral("y"), e.position->y());
        }
        v.insert(p + QStringLiteral("plotSpan"), e.plotSpan);
        v.insert(p + QStringLiteral("plotOpen"), e.plotOpen);
        int settings = 0;
        for (auto s = e.settings.begin(); s != e.settings.end() && settings < mostSettings; ++s, ++settings)
            v.insert(p + QStringLiteral("settings/") + s.key(), s.value());
    }
    return v;
}

QString problemReport(const QStringList &problems)
{
    if (problems.isEmpty())
        return {};
    return QStringLiteral("The remembered session is damaged; left out: %1. The rest of it and every other "
                          "setting are kept.")
        .arg(problems.join(QStringLiteral("; ")));
}

QVariantMap loadGroup(QSettings &settings)
{
    QVariantMap values;
    settings.beginGroup(QLatin1String(group));
    for (const QString &key : settings.allKeys())
        values.insert(key, settings.value(key));
    settings.endGroup();
    return values;
}

void storeGroup(QSettings &settings, const QVariantMap &values)
{
    clearGroup(settings);
    settings.beginGroup(QLatin1String(group));
    for (auto it = values.begin(); it != values.end(); ++it)
        settings.setValue(it.key(), it.value());
    settings.endGroup();
    settings.sync();
}

void clearGroup(QSettings &settings)
{
    settings.remove(QLatin1String(group));
    settings.sync();
}

}   // namespace tindrel::session
