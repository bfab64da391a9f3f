// list: the window's port list, from the same discovery and port map.

#include <QJsonArray>

#include "cli/Command.h"
#include "transport/PortDiscovery.h"

namespace quillon::cli {

namespace {

QJsonObject Entry(const QString& name, const char* kind, const std::string& device) {
    QJsonObject entry;
    entry["name"] = name;
    entry["kind"] = QLatin1String(kind);
    if (!device.empty())
        entry["device"] = QString::fromStdString(device);
    return entry;
}

}  // namespace

Result RunList(const Options& options) {
    Result result;
    result.json["command"] = options.command;
    QJsonArray ports;
    for (const SerialPortInfo& port : ListSerialPorts())
        ports.append(Entry(QString::fromStdString(port.name), "serial", port.device));
    for (const ParallelPortInfo& port : ListParallelPorts())
        ports.append(Entry(QString::fromStdString(port.name), "parallel", port.device));
    int usb = 0;
    for (const UsbPrinterInfo& printer : FindUsbPrinters()) {
        QJsonObject entry = Entry(QStringLiteral("USB%1").arg(++usb), "usb", printer.path);
        entry["node"] = QString::fromStdString(printer.node);
        if (!printer.vendorId.empty() || !printer.productId.empty())
            entry["usbId"] = QString::fromStdString(printer.vendorId + ":" + printer.productId);
        ports.append(entry);
    }
    // The network entry stands for any printer reached by its address.
    ports.append(Entry(QStringLiteral("tcp://ADDRESS[:PORT]"), "network", {}));
    result.json["ports"] = ports;
    result.json["portMap"] = QString::fromStdString(PortMapPath());
    for (const QJsonValue& value : ports) {
        const QJsonObject entry = value.toObject();
        const QString device = entry["device"].toString();
        result.lines << (device.isEmpty() ? entry["name"].toString()
                                          : entry["name"].toString() + u'\t' + device);
    }
    return result;
}

}  // namespace quillon::cli
