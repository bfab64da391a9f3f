#include "printer/app/AppOptions.h"

#include <arpa/inet.h>

#include <cstdlib>

namespace quillon {

namespace {

const char* kHelp =
    "Usage: quillon-printer [options]\n"
    "A virtual receipt printer on a pseudo-terminal (registered as COM<n> in the port map),\n"
    "raw TCP ports 9100 and 4000 and a web page on port 80 of a loopback address.\n\n"
    "  --headless          no window; write each printed page as PNG to --out\n"
    "  --out DIR           folder for the PNG pages (default: printer-pages)\n"
    "  --journal FILE      append one JSON line per job to FILE: its connection, bytes,\n"
    "                      answers, unknown commands, state changes and pages\n"
    "  --family NAME       pos-thermal (default, 80 or 58 mm), pos-impact (76 mm),\n"
    "                      portable-thermal (58 or 80 mm), portable-impact (58 mm),\n"
    "                      micro-thermal (44 or 58 mm), micro-impact (58 mm)\n"
    "  --width MM          paper width: 44, 58, 76 or 80 (mm; or 288|384|576 dots);\n"
    "                      default the family's first; a width the family does not\n"
    "                      take is warned about and used all the same\n"
    "  --port-map FILE     port map to register in (default: $QUILLON_PORT_MAP, else\n"
    "                      $XDG_CONFIG_HOME/Quillon/ports)\n"
    "  --com N             register as COM<N> (default: first free number from 9)\n"
    "  --address A         loopback address to listen on (default 127.0.0.2)\n"
    "  --raw-ports P,Q     raw TCP ports (default 9100,4000)\n"
    "  --http-port P       web page port (default 80)\n"
    "  --idle-ms MS        a pause that ends a job even without a cut (default: none)\n"
    "  --drawer-open-ms MS how long a drawer kick leaves the drawer open at least, before\n"
    "                      it counts as pushed shut (default 1000; a longer pulse, longer)\n"
    "  --drop-idle S       disconnect a raw TCP client that sends nothing for S seconds\n"
    "                      (default 300; 0: never)\n"
    "  --web-timeout-ms MS disconnect a web page client after MS (default 5000)\n"
    "  --ready-json        once ready, say where it listens as one JSON line on standard\n"
    "                      output ({\"com\":\"COM9\",\"pty\":\"/dev/pts/4\",...}) instead of\n"
    "                      the COM<n>=<pty> line\n"
    "  --drop-pages-when-behind\n"
    "                      never slow the data down: pages that drawing cannot keep up\n"
    "                      with are counted, not drawn (default: stop reading until\n"
    "                      drawing catches up, so every page is drawn)\n\n"
    "Lines on standard input change what the sensors see: cover open|closed,\n"
    "paper out|in, near-end on|off, drawer open|closed; each change is confirmed\n"
    "with a \"state: ...\" line on standard output. A drawer opened this way (or by the\n"
    "window's button or the web API) stays open until it is closed the same way.\n";

bool ToInt(const std::string& text, int low, int high, int& out) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < low || value > high)
        return false;
    out = static_cast<int>(value);
    return true;
}

bool IsLoopback(const std::string& address) {
    in_addr parsed{};
    return inet_pton(AF_INET, address.c_str(), &parsed) == 1 && (ntohl(parsed.s_addr) >> 24) == 127;
}

}  // namespace

bool ParseOptions(int argc, char** argv, AppOptions& o, std::string& error, std::string& help) {
    int width = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            help = kHelp;
            error.clear();
            return false;
        } else if (arg == "--headless") {
            o.headless = true;
        } else if (arg == "--ready-json") {
            o.readyJson = true;
        } else if (arg == "--drop-pages-when-behind") {
            o.dropPagesWhenBehind = true;
        } else if (arg == "--out") {
            if (!value(o.outDir))
                return false;
        } else if (arg == "--journal") {
            if (!value(o.journal))
                return false;
        } else if (arg == "--port-map") {
            if (!value(o.portMap))
                return false;
        } else if (arg == "--family") {
            if (!value(v))
                return false;
            if (!printer::ParseFamily(v, o.printer.family)) {
                error = "unknown printer family: " + v;
                return false;
            }
        } else if (arg == "--width") {
            if (!value(v))
                return false;
            const int thermalDots[][2] = {{288, 44}, {384, 58}, {576, 80}};
            width = 0;
            for (const auto& [dots, mm] : thermalDots)
                if (v == std::to_string(dots))
                    width = mm;
            if (!width && (!ToInt(v, 1, 999, width) || !printer::IsPaperWidth(width))) {
                error = "paper width must be 44, 58, 76 or 80 (mm), or 288, 384 or 576 (dots)";
                return false;
            }
        } else if (arg == "--com") {
            if (!value(v) || !ToInt(v, 1, 255, o.comNumber)) {
                error = error.empty() ? "--com needs a number from 1 to 255" : error;
                return false;
            }
        } else if (arg == "--address") {
            if (!value(o.address))
                return false;
            if (!IsLoopback(o.address)) {
                error = "the printer listens on loopback addresses only (127.x.x.x)";
                return false;
            }
        } else if (arg == "--raw-ports") {
            if (!value(v))
                return false;
            const auto comma = v.find(',');
            if (comma == std::string::npos || !ToInt(v.substr(0, comma), 1, 65535, o.rawPorts[0]) ||
                !ToInt(v.substr(comma + 1), 1, 65535, o.rawPorts[1])) {
                error = "--raw-ports needs two ports, such as 9100,4000";
                return false;
            }
        } else if (arg == "--http-port") {
            if (!value(v) || !ToInt(v, 1, 65535, o.httpPort)) {
                error = error.empty() ? "--http-port needs a port number" : error;
                return false;
            }
        } else if (arg == "--idle-ms") {
            if (!value(v) || !ToInt(v, 0, 600000, o.idleMs)) {
                error = error.empty() ? "--idle-ms needs a number of milliseconds" : error;
                return false;
            }
        } else if (arg == "--drawer-open-ms") {
            if (!value(v) || !ToInt(v, 0, 3600000, o.printer.drawerOpenMs)) {
                error = error.empty() ? "--drawer-open-ms needs a number of milliseconds" : error;
                return false;
            }
        } else if (arg == "--drop-idle") {
            if (!value(v) || !ToInt(v, 0, 86400, o.dropIdleS)) {
                error = error.empty() ? "--drop-idle needs a number of seconds" : error;
                return false;
            }
        } else if (arg == "--web-timeout-ms") {
            if (!value(v) || !ToInt(v, 100, 600000, o.webTimeoutMs)) {
                error = error.empty() ? "--web-timeout-ms needs a number of milliseconds" : error;
                return false;
            }
        } else {
            error = "unknown option: " + arg + " (see --help)";
            return false;
        }
    }
    if (width)
        o.warning = printer::PaperWidthWarning(o.printer.family, width);
    o.printer.geometry = printer::GeometryOf(o.printer.family, width);
    return true;
}

}  // namespace quillon
