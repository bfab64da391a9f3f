#pragma once
// The worker the two cycle pages share: sends the same bytes to every ticked serial port or
// network printer in turn, once or again and again at an interval with a count line in
// front. Plain C++: the pages feed it on their window's thread and it reaches the windows
// only through synchronous messages and message boxes.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transport/OpenOutcome.h"
#include "transport/Window.h"

namespace quillon {

enum class CycleKind { kSerial, kNetwork };

struct CycleTarget {
    std::string name;        // "COM3", or a dotted address
    std::string parameters;  // the serial parameter text; unused for a network printer
};

// What a start takes from the main window.
struct CycleSettings {
    std::string dataText;   // the send text in the printer's code page, line end added
    bool dataValid = true;  // false: the send text has no form in the printer's code page
    bool hex = false;
    bool chineseMode = false;
    int intervalMs = 1000;
    bool onePass = true;
    int tcpPort = 9100;
};

// The page's texts in its language; "%s" stands for the port name or the address.
struct CycleTexts {
    std::string openFailed;  // a port or printer that cannot be opened
    std::string hexFailed;   // the send text is not valid hexadecimal
    std::string sendFailed;  // the day-file record of a target that did not take every byte
    std::string sentCount;   // after it: "%llu of %llu bytes went out."
    // Why a port or printer could not be opened, added to openFailed; called on the
    // worker's thread. Without it the text stands alone.
    std::function<std::string(const OpenOutcome&)> openCause;
};

struct CycleContext;

class CycleRunner {
  public:
    // page owns the message boxes; mainWindow gets UM_CYCLE_FAILED.
    CycleRunner(CycleKind kind, WindowRef page, WindowRef mainWindow, CycleTexts texts);
    // Shuts down without waiting for the worker.
    ~CycleRunner();
    CycleRunner(const CycleRunner&) = delete;
    CycleRunner& operator=(const CycleRunner&) = delete;

    // The targets in the order they are served; a running worker takes them at its next pass.
    void SetTargets(std::vector<CycleTarget> targets);
    // Starts a worker, or hands a running one the new interval, flags and kind of run (it
    // keeps its data bytes and its count). A single pass asked for while a run goes is
    // queued with its own data: the worker makes it between two passes of the run, which
    // then goes on.
    void Start(const CycleSettings& settings);
    // The worker ends after the pass under way; a pause under way ends at once.
    void Stop();
    // The page is going: every wait and write of the worker ends at once, no message or
    // record follows, and nothing waits for the worker to end.
    void Shutdown();

    // A run is wanted (a worker runs and has not been told to stop).
    bool Running() const;
    // Network printers: a failed connection still stops the run (no pass has been
    // completed yet).
    bool StopsAtFailure() const;

  private:
    std::shared_ptr<CycleContext> context_;
};

}  // namespace quillon
