// "Printer Status" and "Identify" on the Others page, and what the printer's answers say,
// shown in the line under the page's buttons: the answers to a button's requests once all
// have come (or its time is up), any other answer as it comes. The requests go out through
// the one send routine, so they are counted and follow every rule other sends follow.

#include <QTime>

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "framework/Format.h"
#include "framework/Texts.h"
#include "pages/CDialog_OtherCommand.h"

namespace quillon {

namespace {

using escpos::Answer;

// How long a button waits for the answers: real-time ones come at once, the identity comes
// in turn with whatever the printer still has to do.
constexpr int kStatusWaitMs = 500;
constexpr int kIdentityWaitMs = 1000;

QString Hex(const std::vector<std::uint8_t>& bytes) {
    QStringList pairs;
    for (const std::uint8_t b : bytes)
        pairs << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return pairs.join(u' ');
}

// The raw answers behind a line, one per line of its tooltip: "DLE EOT 1: 16".
QString AnswerDetails(const std::vector<Answer>& answers) {
    QStringList lines;
    for (const Answer& a : answers) {
        const QString name = a.kind == Answer::Kind::kAutomatic
                                 ? QStringLiteral("ASB")
                                 : QString::fromLatin1(escpos::RequestName(a.request));
        const QString value =
            a.kind == Answer::Kind::kText
                ? QString::fromLatin1(a.text.data(), static_cast<qsizetype>(a.text.size()))
                : Hex(a.bytes);
        lines << name + QStringLiteral(": ") + value;
    }
    return lines.join(u'\n');
}

QString Capitalised(QString text) {
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

}  // namespace

void CQuillonDlg::AskPrinter(PrinterQuery query) {
    // Like every other send it waits its turn: a file send or a model test run holds the port.
    if (!state_.port.open || !SendMayStart())
        return;
    const bool status = query == PrinterQuery::kStatus;
    QByteArray bytes;
    auto ask = [&bytes](escpos::Request request) {
        const std::vector<std::uint8_t> asking = escpos::RequestBytes(request);
        bytes.append(reinterpret_cast<const char*>(asking.data()),
                     static_cast<qsizetype>(asking.size()));
    };
    if (status) {
        for (const escpos::Request r : escpos::kStatusRequests)
            ask(r);
    } else {
        for (const escpos::Request r : escpos::kIdentityRequests)
            ask(r);
    }
    printerAnswers_.StartQuery(query);
    SetTimer(kPrinterQueryTimer, status ? kStatusWaitMs : kIdentityWaitMs);
    // Raw: neither a line end nor the Chinese-mode wrapper goes with the requests.
    if (!SendData(bytes, 0, 0, 1)) {
        KillTimer(kPrinterQueryTimer);
        printerAnswers_.EndQuery();
    }
}

void CQuillonDlg::PrinterAnswered(const std::uint8_t* bytes, std::size_t count) {
    const PrinterAnswers::Changes changes = printerAnswers_.Received(bytes, count);
    if (changes.queryDone)
        KillTimer(kPrinterQueryTimer);
    // A button's answers are shown together, once they are all in.
    const PrinterQuery waiting = printerAnswers_.Query();
    if (changes.status && waiting != PrinterQuery::kStatus)
        ShowPrinterStatus();
    if (changes.identity && waiting != PrinterQuery::kIdentity)
        ShowPrinterIdentity();
}

void CQuillonDlg::EndPrinterQuery() {
    const PrinterQuery query = printerAnswers_.Query();
    printerAnswers_.EndQuery();
    if (query == PrinterQuery::kStatus)
        ShowPrinterStatus();
    else if (query == PrinterQuery::kIdentity)
        ShowPrinterIdentity();
}

void CQuillonDlg::ShowPrinterAnswer(const char* kind, const QStringList& items,
                                    const char* separatorKey, const QString& details) {
    const Language lang = language();
    const QString said = items.isEmpty() ? Text(lang, "D156.noAnswer")
                                         : Capitalised(items.join(Text(lang, separatorKey)));
    const QString line =
        Format(Text(lang, "D156.time"), {said, QTime::currentTime().toString(u"HH:mm:ss")});
    otherPage_->ShowPrinterAnswer(line, details);
    LogNote(kind, said);
}

void CQuillonDlg::ShowPrinterStatus() {
    const Language lang = language();
    QStringList words;
    for (const escpos::StatusWord word : escpos::Words(printerAnswers_.Status().told))
        words << Text(lang, std::string("D156.word.") + escpos::WordName(word));
    ShowPrinterAnswer("STATUS", words, "D156.wordSeparator",
                      AnswerDetails(printerAnswers_.Status().answers));
}

void CQuillonDlg::ShowPrinterIdentity() {
    const Language lang = language();
    const escpos::PrinterIdentity& id = printerAnswers_.Identity().told;
    auto text = [lang](const char* key, const QString& value) {
        return Format(Text(lang, std::string("D156.identity.") + key), {value});
    };
    auto latin = [](const std::string& s) {
        return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
    };
    QStringList items;
    if (id.modelId)
        items << text("model", Hex({*id.modelId}));
    if (id.typeId) {
        items << Text(lang, escpos::HasAutocutter(*id.typeId) ? "D156.identity.cutter"
                                                              : "D156.identity.noCutter");
        if (escpos::MultiByteCharacters(*id.typeId))
            items << Text(lang, "D156.identity.multiByte");
    }
    if (id.firmware)
        items << text("firmware", latin(*id.firmware));
    else if (id.versionId)
        items << text("version", Hex({*id.versionId}));
    if (id.maker)
        items << text("maker", latin(*id.maker));
    if (id.modelName)
        items << text("name", latin(*id.modelName));
    if (id.serialNumber)
        items << text("serial", latin(*id.serialNumber));
    if (id.fonts)
        items << text("fonts", latin(*id.fonts));
    ShowPrinterAnswer("IDENTITY", items, "D156.listSeparator",
                      AnswerDetails(printerAnswers_.Identity().answers));
}

}  // namespace quillon
