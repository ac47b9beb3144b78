#pragma once

#include "ChannelHandle.h"
#include "ErrorEventLog.h"

#include <QGroupBox>
#include <QList>
#include <QPointer>
#include <QVariant>
#include <QWidget>

class QVBoxLayout;

namespace tindrel {

class TindrelInfoBox;
struct WindowEnvironment;

// The frame shared by every example window: one channel handle of the
// window's class, the device information box, the boxes shown only while
// the channel is attached, the error event log, and the life cycle
//   setUp -> (attach <-> detach)* -> tearDown.
// Library callbacks only box their values and post them to the main thread;
// a posted event that arrives after tear-down is dropped.
//
// A window class derives from ExampleWindowOf<itself> (which gives it its
// own error counter), builds its widgets in its constructor inside
// contentLayout(), and overrides the hooks it needs.
class ExampleWindow : public QWidget {
    Q_OBJECT
public:
    // Window form: the window owns itself while open. View form: a
    // ViewFormController holds it until it closes.
    enum class Form { Window, View };

    ~ExampleWindow() override;

    Form form() const { return form_; }

    // Set-up and open: collapse and centre, clear the information box,
    // create the handle, register the callbacks, open with the settings.
    void setUp(const WindowEnvironment &env);
    // Removes callbacks, closes and deletes the handle; later calls do nothing.
    void tearDown();
    // True from a successful create until tear-down.
    bool hasChannel() const { return static_cast<bool>(ch_); }

    void onAttachHandler();
    void onDetachHandler();
    // Asynchronous library error: (code as int, description as string).
    void errorHandler(const QVariant &codeAndDescription);

    // Error event log.
    void outputError(const QString &text);
    void outputLastError();
    void clearErrorLog();
    int errorCount() const { return errorCounter_; }
    // Absent until the first error is logged.
    ErrorEventLog *errorEventLogWindow() const { return errorLog_; }

    // Shown while attached, hidden otherwise (see AttachBox).
    void registerAttachBox(QWidget *box);

    TindrelInfoBox *tindrelInfoBoxView() const { return infoBox_; }
    QGroupBox *tindrelInfoBox() const { return infoFrame_; }

signals:
    // Emitted once when the window closes, after tear-down.
    void windowWillClose();

protected:
    ExampleWindow(int &errorCounter, ChannelHandle::Ops ops, Form form, QWidget *parent = nullptr);

    // Hooks, all on the main thread.
    virtual void registerValueHandlers() { }   // after the common callbacks
    virtual void onAttach() { }                // reads and settings; attach boxes are already shown
    virtual void onDetach() { }                // reset the value displays

    // The layout under the information box where a window puts its boxes.
    QVBoxLayout *contentLayout() const { return content_; }

    template <class H>
    H handle() const
    {
        return ch_.as<H>();
    }
    ChannelHandle &channel() { return ch_; }

    // Logs the last error when rc is a failure; true on success.
    bool check(TindrelReturnCode rc);

    // Registers a value handler with this window as context and arranges its
    // removal at tear-down (before the common callbacks). A failure is logged.
    template <class H, class Callback>
    void setValueHandler(TindrelReturnCode (*setter)(H, Callback, void *), Callback callback)
    {
        if (!ch_)
            return;
        if (!check(setter(ch_.as<H>(), callback, contextPointer())))
            return;
        ch_.addRemover([setter](TindrelHandle h) { setter(reinterpret_cast<H>(h), nullptr, nullptr); });
    }

    // From a library callback (any thread): queue handler(box) for the main
    // thread without waiting. ctx is the context the callback was registered with.
    template <class Self>
    static void post(void *ctx, void (Self::*handler)(const QVariant &), QVariant box)
    {
        auto *window = static_cast<ExampleWindow *>(ctx);
        window->postToMainThread(
            [window, handler, box = std::move(box)] { (static_cast<Self *>(window)->*handler)(box); });
    }

    void *contextPointer() { return static_cast<ExampleWindow *>(this); }

    // Grows to the maximum height (or shrinks to the minimum) and centres.
    void growToMaximum();
    void shrinkToMinimum();
    void centre();

    void closeEvent(QCloseEvent *event) override;

private:
    void postToMainThread(std::function<void()> work);
    void setAttachBoxesVisible(bool visible);
    void fitHeightToShownContent();

    static void attachCallback(TindrelHandle ch, void *ctx);
    static void detachCallback(TindrelHandle ch, void *ctx);
    static void errorCallback(TindrelHandle ch, void *ctx, int32_t code, const char *description);

    int &errorCounter_;
    const ChannelHandle::Ops ops_;
    const Form form_;
    ChannelHandle ch_;
    QGroupBox *infoFrame_;
    TindrelInfoBox *infoBox_;
    QVBoxLayout *content_;
    QPointer<ErrorEventLog> errorLog_;
    QList<QPointer<QWidget>> attachBoxes_;
    bool closed_ = false;
};

// Gives each window class its own error counter, shared by all its windows.
template <class Derived>
class ExampleWindowOf : public ExampleWindow {
public:
    static int sharedErrorCount() { return counter; }

protected:
    explicit ExampleWindowOf(ChannelHandle::Ops ops, Form form = Form::Window, QWidget *parent = nullptr)
        : ExampleWindow(counter, ops, form, parent)
    { }

private:
    static inline int counter = 0;
};

// A group box the frame shows on attach and hides on detach.
class AttachBox : public QGroupBox {
    Q_OBJECT
public:
    AttachBox(const QString &title, ExampleWindow *window);
};

}   // namespace tindrel
