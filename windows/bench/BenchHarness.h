// What the window benchmarks measure while their windows stream: the main
// thread's response to a probe posted every 10 ms, the posted-call queue,
// events delivered against events recorded, and memory.
#pragma once

#include <QString>
#include <QtGlobal>

#include <utility>
#include <vector>

namespace tindrel {

class ExampleWindow;

namespace bench {

double residentMiB();
// Bytes the program holds from the allocator, apart from what the allocator
// keeps for reuse: growth here is the program's, growth of resident memory
// alone is the allocator's.
double heapInUseMiB();
// The slope, per minute, of the samples (seconds, MiB) of the run's second
// half. The first half holds the warm-up, in which queues and buffers grow
// to the largest backlog the machine makes them hold.
double growthPerMinute(const std::vector<std::pair<double, double>> &samples, double seconds);
double percentile(std::vector<double> values, double p);

// Silences the offscreen platform's warning about every window it cannot
// size. Call before the application is made.
void quietOffscreenWarnings();

// Waits (at most the deadline) until every window shows its tool bar, which
// it does once attached; false if one never did.
bool waitForAttach(const std::vector<ExampleWindow *> &windows, int deadlineMs);

// Runs the event loop for the given time with the probe and the memory
// sampler, then stops the windows' recordings, closes the windows and prints
// the figures. `files` are the windows' recordings, in the same order;
// `takenBefore` is the number of events the windows took in before they
// started recording. Returns the program's exit status: 1 if an event was
// lost.
int runAndReport(const std::vector<ExampleWindow *> &windows, const std::vector<QString> &files, int seconds,
                 const QString &folder, quint64 takenBefore = 0);

}   // namespace bench
}   // namespace tindrel
