#pragma once

#include "ExampleWindow.h"

#include <atomic>
#include <thread>

class QPushButton;

namespace tindrel {

class DisplayPreview;
class SliderRow;

// A 128 x 64 dot display: contrast, backlight and fixed drawing
// demonstrations, among them a worker thread writing random numbers.
class GraphicLCDController : public ExampleWindowOf<GraphicLCDController> {
    Q_OBJECT
public:
    explicit GraphicLCDController(QWidget *parent = nullptr);

    // Actions.
    void clearScreen();
    void basicExample();
    void asyncExample();
    void asyncText();
    // Starts the random-text writer, or stops it when it runs.
    void asyncTimer();
    void saveFrameBuffer();
    void loadFrameBuffer();
    void sleep();
    // Result of an asynchronous call, on the main thread.
    void asyncHandler(const QVariant &code);

    bool randomTextRunning() const { return randomText_.load(); }
    // Calls the writer has made since it started (for tests).
    quint64 randomTextWrites() const { return writes_.load(); }

    AttachBox *lcdBox;
    SliderRow *contrastSlider;
    SliderRow *backlightSlider;
    QPushButton *clearButton;
    QPushButton *basicButton;
    QPushButton *asyncButton;
    QPushButton *asyncTextButton;
    QPushButton *randomTextButton;
    QPushButton *saveButton;
    QPushButton *loadButton;
    QPushButton *sleepButton;
    DisplayPreview *preview;

protected:
    void onAttach() override;
    void onDetach() override;
    void beforeTearDown() override;

private:
    void stopRandomText();
    static void asyncDone(TindrelHandle ch, void *ctx, TindrelReturnCode result);
    // The random text's writes: the first failure stops it.
    static void writerDone(TindrelHandle ch, void *ctx, TindrelReturnCode result);

    std::atomic<bool> randomText_{false};
    std::atomic<quint64> writes_{0};
    std::thread writer_;
};

}   // namespace tindrel
