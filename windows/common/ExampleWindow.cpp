#include "ExampleWindow.h"

#include "ErrorEventLog.h"
#include "LibraryError.h"
#include "TindrelInfoBox.h"
#include "WindowEnvironment.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QVBoxLayout>

namespace tindrel {

ExampleWindow::ExampleWindow(int &errorCounter, ChannelHandle::Ops ops, Form form, QWidget *parent)
    : QWidget(parent)
    , errorCounter_(errorCounter)
    , ops_(ops)
    , form_(form)
    , infoFrame_(new QGroupBox(this))
    , infoBox_(form == Form::View ? new TindrelInfoBoxN(infoFrame_) : new TindrelInfoBox(infoFrame_))
    , content_(new QVBoxLayout)
{
    auto *frameLayout = new QVBoxLayout(infoFrame_);
    frameLayout->setContentsMargins(4, 4, 4, 4);
    frameLayout->addWidget(infoBox_);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(infoFrame_);
    layout->addLayout(content_);
    layout->addStretch(1);
    infoFrame_->hide();
}

ExampleWindow::~ExampleWindow()
{
    // Normally done at close; a window destroyed without closing must still
    // stop its callbacks before the object goes away.
    tearDown();
}

void ExampleWindow::setUp(const WindowEnvironment &env)
{
    setAttachBoxesVisible(false);
    infoBox_->fillTindrelInfo(nullptr);
    infoFrame_->show();
    // The width stays as set here; the height follows what is shown.
    constexpr int preferredWidth = 480;
    resize(std::max(sizeHint().width(), preferredWidth), height());
    shrinkToMinimum();

    if (!check(ch_.create(ops_)))
        return;
    if (!check(ch_.setCommonHandlers(&attachCallback, &detachCallback, &errorCallback, contextPointer())))
        return;
    registerValueHandlers();
    TindrelInfoBox::openCmdLine(ch_.get(), env, this);
}

void ExampleWindow::tearDown() { ch_.reset(); }

void ExampleWindow::closeEvent(QCloseEvent *event)
{
    tearDown();
    QWidget::closeEvent(event);
    if (errorLog_)
        errorLog_->close();
    if (!closed_) {
        closed_ = true;
        emit windowWillClose();
    }
}

void ExampleWindow::onAttachHandler()
{
    TindrelHandle h = ch_.get();
    infoBox_->fillTindrelInfo(h);
    setAttachBoxesVisible(true);
    onAttach();
    growToMaximum();
}

void ExampleWindow::onDetachHandler()
{
    setAttachBoxesVisible(false);
    onDetach();
    infoBox_->fillTindrelInfo(nullptr);
    shrinkToMinimum();
}

void ExampleWindow::errorHandler(const QVariant &codeAndDescription)
{
    const QVariantList values = codeAndDescription.toList();
    if (values.size() >= 2)
        outputError(values.at(1).toString());
}

void ExampleWindow::outputError(const QString &text)
{
    ++errorCounter_;
    if (!errorLog_) {
        errorLog_ = new ErrorEventLog(this);
        connect(errorLog_, &ErrorEventLog::clearRequested, this, &ExampleWindow::clearErrorLog);
    }
    errorLog_->appendLine(text);
    errorLog_->setCount(errorCounter_);
    if (!errorLog_->isVisible())
        errorLog_->show();
}

void ExampleWindow::outputLastError()
{
    if (auto detail = lastErrorDetail())
        outputError(*detail);
}

void ExampleWindow::clearErrorLog()
{
    if (errorLog_) {
        errorLog_->clearText();
        errorLog_->setCount(0);
    }
    errorCounter_ = 0;
}

bool ExampleWindow::check(TindrelReturnCode rc)
{
    if (rc == TINDREL_OK)
        return true;
    outputLastError();
    return false;
}

void ExampleWindow::registerAttachBox(QWidget *box)
{
    attachBoxes_.append(box);
    box->hide();
}

void ExampleWindow::setAttachBoxesVisible(bool visible)
{
    for (const auto &box : std::as_const(attachBoxes_))
        if (box)
            box->setVisible(visible);
}

void ExampleWindow::fitHeightToShownContent()
{
    // The layout ignores hidden boxes: with only the information box shown
    // this is the minimum height, with every box of the channel the maximum.
    // Boxes shown or hidden just now have only posted their layout requests:
    // handle them first so that nested boxes report their new size.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    layout()->invalidate();
    layout()->activate();
    resize(width(), std::max(layout()->sizeHint().height(), layout()->minimumSize().height()));
}

void ExampleWindow::growToMaximum()
{
    fitHeightToShownContent();
    centre();
}

void ExampleWindow::shrinkToMinimum()
{
    fitHeightToShownContent();
    centre();
}

void ExampleWindow::centre()
{
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = geometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void ExampleWindow::postToMainThread(std::function<void()> work)
{
    QMetaObject::invokeMethod(
        this,
        [this, work = std::move(work)] {
            // Dropped when the window was torn down after the event was posted.
            if (ch_)
                work();
        },
        Qt::QueuedConnection);
}

void ExampleWindow::attachCallback(TindrelHandle, void *ctx)
{
    auto *window = static_cast<ExampleWindow *>(ctx);
    window->postToMainThread([window] { window->onAttachHandler(); });
}

void ExampleWindow::detachCallback(TindrelHandle, void *ctx)
{
    auto *window = static_cast<ExampleWindow *>(ctx);
    window->postToMainThread([window] { window->onDetachHandler(); });
}

void ExampleWindow::errorCallback(TindrelHandle, void *ctx, int32_t code, const char *description)
{
    QVariantList box{QVariant(static_cast<int>(code)), QVariant(QString::fromUtf8(description ? description : ""))};
    post(ctx, &ExampleWindow::errorHandler, QVariant(box));
}

AttachBox::AttachBox(const QString &title, ExampleWindow *window)
    : QGroupBox(title, window)
{
    window->registerAttachBox(this);
}

}   // namespace tindrel
