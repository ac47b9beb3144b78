#include "BoundRows.h"

#include <QVBoxLayout>

namespace tindrel {

void PropertySliderBox::layOut() { (new QVBoxLayout(this))->addWidget(row); }

void PropertySliderBox::load()
{
    double value = 0.0;
    readAll_(minimum, maximum, value);
    row->setRange(minimum, maximum, value);
}

void PropertyCheck::hookUp()
{
    connect(this, &QCheckBox::clicked, this, [this](bool on) {
        if (!send_(on)) {
            const QSignalBlocker block(this);
            setChecked(!on);
        }
    });
}

void PropertyCheck::load()
{
    if (readWhen && !readWhen())
        return;
    bool on = false;
    readValue_(on);
    const QSignalBlocker block(this);
    setChecked(on);
}

void PropertyPopup::hookUp()
{
    connect(this, &CodePopup::codeChosen, this, [this](int code) { send_(code); });
    // Nothing is sent; the log shows the library's last detail.
    connect(this, &CodePopup::unknownTitleChosen, this, [this] { window_.outputLastError(); });
}

void PropertyPopup::load()
{
    if (titlesFor)
        setTitles(titlesFor(window_.identity()));
    if (readWhen && !readWhen())
        return;
    int code = 0;
    readValue_(code);
    if (selectFor) {
        const auto title = selectFor(code);
        setCurrentIndex(title ? findText(*title, Qt::MatchExactly) : -1);
    } else {
        selectCode(code);
    }
}

}   // namespace tindrel
