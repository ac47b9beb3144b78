// The Linux reader where neither a session bus nor gsettings answers: it
// falls back to GTK_THEME, and tells its answer only after follow returns.
#include "PortalColorScheme.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tindrel::platform;

namespace {
std::optional<ColorScheme> firstAnswer(const char *gtkTheme)
{
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tindrel-test-bus", 1);
    ::setenv("PATH", "/nonexistent", 1);
    ::setenv("GTK_THEME", gtkTheme, 1);
    int argc = 1;
    char name[] = "PortalColorSchemeTest";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    linux_impl::PortalColorScheme reader;
    std::optional<ColorScheme> told;
    bool duringFollow = true;
    bool toldDuringFollow = false;
    reader.follow([&](ColorScheme s) {
        told = s;
        toldDuringFollow = duringFollow;
    });
    duringFollow = false;
    const QDeadlineTimer deadline(30000);
    while (!told && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_FALSE(toldDuringFollow);
    if (told) {
        EXPECT_EQ(reader.current(), *told);
    }
    return told;
}
}   // namespace

TEST(PortalColorScheme, FallsBackToTheGtkThemeWithoutBusOrGsettings)
{
    EXPECT_EQ(firstAnswer("Adwaita:dark"), ColorScheme::Dark);
    EXPECT_EQ(firstAnswer("Adwaita"), ColorScheme::Light);
}
