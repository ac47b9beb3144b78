#include "DesktopPalette.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

#include <memory>

namespace tindrel {

QPalette lightPalette()
{
    // The Fusion style's own palette, whatever style is in use.
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion ? fusion->standardPalette() : QPalette(QColor(239, 239, 239));
}

QPalette darkPalette()
{
    const QColor window(45, 45, 48);
    const QColor base(30, 30, 32);
    const QColor text(232, 232, 232);
    const QColor disabledText(128, 128, 128);
    const QColor highlight(61, 122, 196);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabledText);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 90, 90));
    p.setColor(QPalette::Light, window.lighter(150));
    p.setColor(QPalette::Midlight, window.lighter(125));
    p.setColor(QPalette::Mid, window.darker(120));
    p.setColor(QPalette::Dark, window.darker(150));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, highlight.lighter(140));
    p.setColor(QPalette::LinkVisited, highlight.lighter(120));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Highlight, window.lighter(130));
    return p;
}

DesktopPalette::DesktopPalette(platform::ColorSchemeSource &source)
    : shown_(source.current())
{
    show(shown_);
    source.follow([this](platform::ColorScheme scheme) { show(scheme); });
}

void DesktopPalette::show(platform::ColorScheme scheme)
{
    shown_ = scheme;
    QApplication::setPalette(scheme == platform::ColorScheme::Dark ? darkPalette() : lightPalette());
}

}   // namespace tindrel
