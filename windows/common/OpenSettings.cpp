#include "OpenSettings.h"

#include <QSettings>

#include <limits>

namespace tindrel {

int OpenSettings::librarySerialNumber() const { return serialNumber == 0 ? -1 : serialNumber; }

int leadingInt(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    bool any = false;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        any = true;
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1)
            return 0;   // out of range: treated as no number rather than wrapped
    }
    if (!any)
        return 0;
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return 0;
    return static_cast<int>(value);
}

namespace {

std::optional<QString> optionalString(const QSettings &defaults, const char *key)
{
    if (!defaults.contains(key))
        return std::nullopt;
    return defaults.value(key).toString();
}

// "n" and "-n" name the same flag.
QString flagWord(const QString &argument)
{
    if (argument.size() == 2 && argument[0] == u'-')
        return argument.mid(1);
    return argument;
}

}   // namespace

OpenSettings readOpenSettings(const QSettings &defaults)
{
    OpenSettings s;
    s.serialNumber = defaults.value(openkeys::serial, 0).toInt();
    s.hubPort = defaults.value(openkeys::hubPort, 0).toInt();
    s.channel = defaults.value(openkeys::channel, 0).toInt();
    s.logFile = optionalString(defaults, openkeys::logFile);
    s.serverName = optionalString(defaults, openkeys::serverName);
    s.password = optionalString(defaults, openkeys::password);
    s.label = optionalString(defaults, openkeys::label);
    s.remote = defaults.value(openkeys::remote, false).toBool();
    s.hubPortDevice = defaults.value(openkeys::hubPortDevice, false).toBool();
    return s;
}

void applyArguments(OpenSettings &s, const QStringList &arguments)
{
    struct IntFlag {
        const char *word;
        int OpenSettings::*field;
    };
    struct StringFlag {
        const char *word;
        std::optional<QString> OpenSettings::*field;
    };
    struct BoolFlag {
        const char *word;
        bool OpenSettings::*field;
    };
    static constexpr IntFlag intFlags[] = {
        {openkeys::serial, &OpenSettings::serialNumber},
        {openkeys::hubPort, &OpenSettings::hubPort},
        {openkeys::channel, &OpenSettings::channel},
    };
    static constexpr StringFlag stringFlags[] = {
        {openkeys::logFile, &OpenSettings::logFile},
        {openkeys::serverName, &OpenSettings::serverName},
        {openkeys::password, &OpenSettings::password},
        {openkeys::label, &OpenSettings::label},
    };
    static constexpr BoolFlag boolFlags[] = {
        {openkeys::remote, &OpenSettings::remote},
        {openkeys::hubPortDevice, &OpenSettings::hubPortDevice},
    };

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString word = flagWord(arguments[i]);
        const bool hasValue = i + 1 < arguments.size();
        for (const auto &f : intFlags)
            if (word == QLatin1String(f.word) && hasValue)
                s.*f.field = leadingInt(arguments[i + 1]);
        for (const auto &f : stringFlags)
            if (word == QLatin1String(f.word) && hasValue)
                s.*f.field = arguments[i + 1];
        for (const auto &f : boolFlags)
            if (word == QLatin1String(f.word))
                s.*f.field = true;
    }
}

QString usageText(const QString &programPath)
{
    return QStringLiteral("Invaid Command Line Argument\nUsage:\n %1 Flags[...]\n\nFlags:\n"
                          "-n serialNumber: defaults to -1 (any serial number)\n\n"
                          "-l logFile: enable logging to specified logFile\n\n"
                          "-v port: defaults to 0\n\n"
                          "-c deviceChannel: defaults to 0\n\n"
                          "-h hubPort?: device is a hub port, defaults to 0\n\n"
                          "-L deviceLabel, assign a label to the device\n\n"
                          "-r remote, will autoconnect to available servers, no other configuration is required\n\n"
                          "-s serverName\tuse only if a specific server is known, otherwise use -r for any server\n\n"
                          "-p password\tomit for no password")
        .arg(programPath);
}

}   // namespace tindrel
