#pragma once
// The command line of quillon-printer.

#include <string>

#include "printer/VirtualPrinter.h"

namespace quillon {

struct AppOptions {
    printer::PrinterOptions printer;
    bool headless = false;
    std::string outDir = "printer-pages";  // where --headless writes its PNGs
    std::string portMap;                   // empty: the file Quillon reads
    int comNumber = 0;                     // 0: the first free number from 9 on
    std::string address = "127.0.0.2";
    int rawPorts[2] = {9100, 4000};
    int httpPort = 80;
    int idleMs = 0;                    // a pause this long ends a job; 0: only a cut or a close
    int webTimeoutMs = 5000;           // a web client is disconnected this long after it connected
    int dropIdleS = 300;               // a raw client silent this long is disconnected; 0: never
    bool dropPagesWhenBehind = false;  // else reading waits for drawing
    bool readyJson = false;            // say where it listens as one JSON line on standard output
    std::string journal;               // a JSON line per job appended here; empty: none
    std::string warning;               // a command line that works but is not what was meant
};

// Fills `options` from argv; false with a message in `error` for a bad command line, or with
// an empty `error` when help was asked for (the text is in `help`).
bool ParseOptions(int argc, char** argv, AppOptions& options, std::string& error,
                  std::string& help);

}  // namespace quillon
