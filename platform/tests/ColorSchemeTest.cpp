// Reading the desktop's light or dark setting from what each source gives.
#include "ColorScheme.h"

#include <gtest/gtest.h>

using namespace tindrel::platform;
using namespace tindrel::platform::color_scheme;

TEST(ColorScheme, PortalValuesNameDarkLightOrNothing)
{
    EXPECT_EQ(fromPortalValue(1), ColorScheme::Dark);
    EXPECT_EQ(fromPortalValue(2), ColorScheme::Light);
    EXPECT_EQ(fromPortalValue(0), std::nullopt);
    EXPECT_EQ(fromPortalValue(7), std::nullopt);
}

TEST(ColorScheme, GnomeSettingAsGsettingsPrintsIt)
{
    EXPECT_EQ(fromGnomeSetting("'prefer-dark'\n"), ColorScheme::Dark);
    EXPECT_EQ(fromGnomeSetting("  'prefer-light'  "), ColorScheme::Light);
    EXPECT_EQ(fromGnomeSetting("prefer-dark"), ColorScheme::Dark);
    EXPECT_EQ(fromGnomeSetting("'default'\n"), std::nullopt);
    EXPECT_EQ(fromGnomeSetting(""), std::nullopt);
    EXPECT_EQ(fromGnomeSetting("'"), std::nullopt);
    EXPECT_EQ(fromGnomeSetting("No such key “color-scheme”"), std::nullopt);
}

TEST(ColorScheme, GtkThemeIsDarkOnlyForItsDarkVariant)
{
    EXPECT_EQ(fromGtkTheme("Adwaita:dark"), ColorScheme::Dark);
    EXPECT_EQ(fromGtkTheme("Adwaita:dark\n"), ColorScheme::Dark);
    EXPECT_EQ(fromGtkTheme("Adwaita"), ColorScheme::Light);
    EXPECT_EQ(fromGtkTheme("Adwaita-dark"), ColorScheme::Light);
    EXPECT_EQ(fromGtkTheme(":dark"), ColorScheme::Light);
    EXPECT_EQ(fromGtkTheme(""), ColorScheme::Light);
}
