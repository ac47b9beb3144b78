// libFuzzer target: the session group of the user defaults, as any store
// may hand it over. Each line "key=Tvalue" is one key, its value typed by
// the letter T (s text, i whole number, d number, b on/off, y bytes, l list
// of texts, anything else text). Whatever it holds, the reading stays within
// its bounds, and what it kept writes and reads back the same, whole.
#include "SessionStore.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdlib>

using namespace tindrel::session;

namespace {

QVariant typed(const QByteArray &raw)
{
    if (raw.isEmpty())
        return QString();
    const QByteArray rest = raw.mid(1);
    switch (raw.front()) {
    case 'i':
        return rest.toLongLong();
    case 'd':
        return rest.toDouble();
    case 'b':
        return rest == "1";
    case 'y':
        return rest;
    case 'l': {
        QStringList items;
        for (const QByteArray &item : rest.split(','))
            items << QString::fromUtf8(item);
        return items;
    }
    case 's':
        return QString::fromUtf8(rest);
    default:
        return QString::fromUtf8(raw);
    }
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QVariantMap values;
    for (const QByteArray &line : input.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            values.insert(QString::fromUtf8(line.left(eq)), typed(line.mid(eq + 1)));
    }

    const ReadResult read = readSession(values);
    const Session &s = read.session;
    if (s.windows.size() > std::size_t(mostWindows))
        std::abort();
    for (std::size_t i = 0; i < s.windows.size(); ++i) {
        const WindowEntry &w = s.windows[i];
        if (w.settings.size() > mostSettings || w.plotSpan < shortestPlotSpan || w.plotSpan > longestPlotSpan)
            std::abort();
        if (w.address.remote == w.address.serverName.isEmpty())
            std::abort();   // a remote channel names its server, a local one none
        for (std::size_t j = 0; j < i; ++j)
            if (s.windows[j].address == w.address)
                std::abort();   // one window a channel
    }
    if (!read.problems.isEmpty() && problemReport(read.problems).isEmpty())
        std::abort();

    const ReadResult again = readSession(writeSession(s));
    if (!again.problems.isEmpty() || !(again.session == s))
        std::abort();   // what was kept did not survive being written
    return 0;
}
