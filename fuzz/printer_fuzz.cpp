// Feeds arbitrary bytes to the virtual printer — tokenizer, printer model, status answers —
// and draws every page it prints. The first byte picks the paper width and family and how
// the rest is cut into pieces, so that unfinished commands cross piece boundaries. With its
// bit 0x04 set the rest comes from two connections at once: each piece is led by a byte whose
// low bit names the connection, whose bit 0x02 ends that connection first, and whose upper
// six bits are the piece's length less one.

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "printer/VirtualPrinter.h"
#include "printer/render/PageRenderer.h"

using namespace quillon;

// The font libraries under Qt keep caches that the leak checker cannot see into.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libfreetype\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const uint8_t setup = data[0];
    printer::PrinterOptions options;
    options.family = static_cast<printer::Family>(setup % 6);
    // The family's usual paper, or one of the others (not always one it takes).
    const int widths[] = {0, 44, 76, 80};
    options.geometry = printer::GeometryOf(options.family, widths[(setup >> 3) & 3]);
    const bool twoClients = setup & 0x04;
    const size_t piece = 1 + (setup >> 4) * 7;
    static printer::PageRenderer renderer;
    printer::VirtualPrinter printer(
        options, [](const uint8_t*, size_t) {},
        [](printer::Page&& page) { renderer.Render(page); });
    printer::PrinterState state;
    for (size_t i = 1; i < size;) {
        int source = 0;
        size_t n = piece;
        if (twoClients) {
            const uint8_t lead = data[i++];
            source = lead & 1;
            if (lead & 2)
                printer.EndConnection(source);
            n = (lead >> 2) + 1u;
        }
        n = std::min(n, size - i);
        printer.Receive(source, data + i, n);
        // Now and then the sensors change, which sends automatic status and releases held data.
        if (n > 0 && (data[i] & 0xF0) == 0xA0) {
            state.coverOpen = data[i] & 1;
            state.paperEnd = data[i] & 2;
            state.paperNearEnd = data[i] & 4;
            state.drawerOpen = data[i] & 8;
            printer.SetState(state);
        }
        i += n;
    }
    printer.SetState(printer::PrinterState{});
    printer.EndJob();
    return 0;
}
