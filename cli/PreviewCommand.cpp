// preview: an ESC/POS byte file drawn by the virtual printer's engine, with no printer and
// no display (the offscreen platform). A job of several pages gives one PNG per page.

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include "cli/Command.h"
#include "printer/PrinterStatus.h"
#include "printer/VirtualPrinter.h"
#include "printer/render/PageRenderer.h"

namespace quillon::cli {

namespace {

// The path of page n (from 1): the output path itself, then "receipt-2.png" and so on.
QString PagePath(const QString& output, int n) {
    if (n == 1)
        return output;
    const QFileInfo info(output);
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    const QString base = output.left(output.size() - suffix.size());
    return QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix);
}

}  // namespace

Result RunPreview(const Options& options) {
    Result result;
    result.json["command"] = options.command;
    result.json["file"] = options.input;
    printer::PrinterOptions printerOptions;
    if (!options.family.isEmpty() &&
        !printer::ParseFamily(options.family.toStdString(), printerOptions.family)) {
        result.exitCode = kExitUsage;
        result.message = QStringLiteral(
                             "--family \"%1\" is none of pos-thermal, pos-impact, "
                             "portable-thermal, portable-impact, micro-thermal, "
                             "micro-impact")
                             .arg(options.family);
        return result;
    }
    printerOptions.geometry = printer::GeometryOf(printerOptions.family, options.widthMm);
    if (options.widthMm)
        result.message = QString::fromStdString(
            printer::PaperWidthWarning(printerOptions.family, options.widthMm));
    QFile file(options.input);
    if (!file.open(QIODevice::ReadOnly)) {
        result.exitCode = kExitUsage;
        result.message = QStringLiteral("%1: %2").arg(options.input, file.errorString());
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.exitCode = kExitUsage;
        result.message = QStringLiteral("%1: %2").arg(options.input, file.errorString());
        return result;
    }

    std::vector<printer::Page> pages;
    printer::VirtualPrinter engine(
        printerOptions, [](const std::uint8_t*, std::size_t) {},
        [&pages](printer::Page&& page) { pages.push_back(std::move(page)); });
    engine.Receive(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                   static_cast<std::size_t>(bytes.size()));
    // The end of the file is the end of the job: what is on the paper comes out.
    engine.EndConnection(0);
    engine.EndJob();

    printer::PageRenderer renderer;
    QJsonArray written;
    for (const printer::Page& page : pages) {
        const QString path = PagePath(options.output, static_cast<int>(written.size()) + 1);
        const QImage image = renderer.Render(page);
        if (!printer::SavePng(image, path)) {
            result.exitCode = kExitIoFailure;
            result.message = QStringLiteral("%1 cannot be written").arg(path);
            break;
        }
        QJsonObject entry;
        entry["path"] = path;
        entry["width"] = image.width();
        entry["height"] = image.height();
        written.append(entry);
        result.lines
            << QStringLiteral("%1 (%2 x %3 dots)").arg(path).arg(image.width()).arg(image.height());
    }
    result.json["bytes"] = static_cast<qint64>(bytes.size());
    result.json["paperWidth"] = printerOptions.geometry.dots;
    result.json["pages"] = written;
    if (pages.empty() && result.exitCode == kExitOk) {
        result.exitCode = kExitNotAsRequired;
        result.message = QStringLiteral("%1 prints nothing").arg(options.input);
    }
    return result;
}

}  // namespace quillon::cli
